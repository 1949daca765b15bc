#pragma once
// The file-manager pane's two views over the file system: a folder tree linked to a file
// list. The list shows the files (never folders) of one folder that match a mask list such
// as "*.jpg;*.gif", in a details table with grid lines, as large icons or as a list, with
// multiple selection and in-place rename.
//
// QFileSystemModel fills asynchronously; SetFolder and SetFilter wait until the rows are
// there, so that an entry can be looked up right after they return.

#include <QFileSystemModel>
#include <QListView>
#include <QPointer>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>

#include <functional>

namespace glimmo {

// Whole kilobytes of 1000 bytes, rounded up as file managers do, with no blank: "0KB",
// "1KB" for 1 to 1000 bytes, "1234KB".
[[nodiscard]] QString KiloByteText(qint64 bytes);

// The list's name filters for a mask list: ";"-separated masks, matched ignoring case as on
// the system the masks come from ("*.jpg" also finds "PIC.JPG"); "*.*" means every file, as
// it does there, including names without a dot.
[[nodiscard]] QStringList NameFiltersForMask(const QString &mask);

class TShellList : public QStackedWidget {
    Q_OBJECT
public:
    enum class ViewStyle { Report, LargeIcons, List };

    explicit TShellList(QWidget *parent = nullptr);

    // Sets the mask list; a mask equal to the current one changes nothing (no refill).
    void SetFilter(const QString &mask);
    [[nodiscard]] QString Filter() const { return m_mask; }

    // Shows the files of `folder` (made absolute; a folder that does not exist shows an
    // empty list) and raises FillComplete when its rows are there.
    void SetFolder(const QString &folder);
    [[nodiscard]] QString Folder() const { return m_folder; }
    void GoUp();

    void SetViewStyle(ViewStyle style);
    [[nodiscard]] ViewStyle Style() const { return m_style; }

    // Rows in display order, from 0.
    [[nodiscard]] int Count() const;
    [[nodiscard]] QString FilePathAt(int row) const;
    [[nodiscard]] qint64 FileSizeAt(int row) const;
    [[nodiscard]] QString SizeTextAt(int row) const { return KiloByteText(FileSizeAt(row)); }
    [[nodiscard]] QList<int> SelectedRows() const; // ascending
    [[nodiscard]] int SelectedRow() const;         // the first, -1 when none
    void ClearSelection();
    // Adds `row` to the selection, makes it current and scrolls it into view.
    void SelectRow(int row);
    // Adds `row` to the selection without moving the current row or scrolling.
    void MarkRow(int row);
    // Starts in-place renaming of `row`.
    void EditRow(int row);

    [[nodiscard]] QFileSystemModel *Model() const { return m_model; }
    [[nodiscard]] QAbstractItemView *CurrentView() const;
    [[nodiscard]] QTableView *DetailsView() const { return m_table; }
    [[nodiscard]] QListView *IconView() const { return m_icons; }

    // Asked on a double-click whether the window handles the "open"; when it does not, the
    // entry is opened the shell's way (the desktop's default program).
    std::function<void(bool &handled)> DblClickOpen;

signals:
    void FillComplete();
    void Clicked();
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void DoubleClicked(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    [[nodiscard]] QModelIndex rootIndex() const;
    [[nodiscard]] QModelIndex indexAt(int row) const;
    void applyRoot();
    void waitForRows();

    QFileSystemModel *m_model;
    QTableView *m_table;
    QListView *m_icons;
    QString m_folder;
    QString m_mask;
    ViewStyle m_style = ViewStyle::Report;
    bool m_waiting = false;
};

class TShellTree : public QTreeView {
    Q_OBJECT
public:
    explicit TShellTree(QWidget *parent = nullptr);

    // The list that follows the tree's selection.
    void Link(TShellList *list) { m_list = list; }

    // Selects `folder` in the tree and shows it in the linked list before returning. A
    // folder that does not exist is handed to the list unchanged.
    void SelectFolder(const QString &folder);
    [[nodiscard]] QString SelectedFolder() const;

private:
    void followCurrent(const QModelIndex &current);

    QFileSystemModel *m_model;
    QPointer<TShellList> m_list;
    bool m_selecting = false;
};

} // namespace glimmo
