#pragma once
// Three controls of the Trawlix window that Qt has no direct counterpart for, with the
// behaviour the window's settings code relies on:
//
// - TRadioGroup: a titled group of radio buttons with one chosen index (-1 for none).
// - TUpDown: the pair of arrow buttons beside an edit box; each click moves the position by
//   one within its range, writes the position into the associated edit box and raises Click.
// - TCheckListBox: a list of texts, each with a check box that is unchecked, checked or grey.
#include <QGroupBox>
#include <QListWidget>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QLineEdit;
class QToolButton;

namespace trawlix {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr);

    [[nodiscard]] int ItemIndex() const { return m_itemIndex; }
    // Values below -1 choose nothing, values past the last item the last item. A change
    // raises Clicked, as a click on the button would.
    void SetItemIndex(int index);
    [[nodiscard]] int Count() const;

signals:
    void Clicked();

private:
    QButtonGroup *m_buttons;
    int m_itemIndex = -1;
};

class TUpDown : public QWidget {
    Q_OBJECT
public:
    TUpDown(int min, int max, int position, QWidget *parent = nullptr);

    // The edit box that shows the position; its text is written on every click.
    void SetAssociate(QLineEdit *edit);
    [[nodiscard]] int Position() const { return m_position; }
    // Clamped to the range; writes nothing into the edit box and raises nothing.
    void SetPosition(int position);
    [[nodiscard]] int Min() const { return m_min; }
    [[nodiscard]] int Max() const { return m_max; }
    // What a click on an arrow does: one step up (+1) or down (-1) within the range, the new
    // position into the associated edit box, then Click (also at the end of the range).
    void Step(int direction);

signals:
    void Click();

private:
    QToolButton *m_up, *m_down;
    QLineEdit *m_associate = nullptr;
    int m_min, m_max, m_position;
};

class TCheckListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget *parent = nullptr);

    [[nodiscard]] int Count() const { return count(); }
    [[nodiscard]] QString Item(int index) const;
    // The index of the item whose text equals `text` exactly, -1 when none does.
    [[nodiscard]] int IndexOf(const QString &text) const;
    // Adds an unchecked item at the end; returns its index.
    int Add(const QString &text);
    [[nodiscard]] Qt::CheckState State(int index) const;
    // Checked only: a grey item is not.
    [[nodiscard]] bool Checked(int index) const { return State(index) == Qt::Checked; }
    void SetChecked(int index, bool checked);
    void SetState(int index, Qt::CheckState state);
    // Lays the items out in `columns` columns (top to bottom, then the next column).
    void SetColumns(int columns);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateGrid();
    int m_columns = 1;
};

} // namespace trawlix
