#include "glimmo/shellview.h"

#include "platform/gui/desktop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QTimer>

namespace glimmo {
namespace {

constexpr int kSizeColumn = 1;
// A folder on a slow or hung file system must not freeze the window for good.
constexpr int kFillWaitMs = 5000;

// Shows the size column as whole kilobytes ("0KB") instead of the model's "0 bytes".
class KiloByteDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (const auto *model = qobject_cast<const QFileSystemModel *>(index.model()))
            option->text = KiloByteText(model->size(index));
    }
};

QString caseFreeWildcard(const QString &mask)
{
    QString out;
    for (const QChar c : mask) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}

} // namespace

QString KiloByteText(qint64 bytes)
{
    const qint64 kb = bytes <= 0 ? 0 : (bytes + 999) / 1000;
    return QString::number(kb) + QStringLiteral("KB");
}

QStringList NameFiltersForMask(const QString &mask)
{
    QStringList filters;
    for (const QString &part : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString m = part.trimmed();
        if (m.isEmpty())
            continue;
        filters << (m == QLatin1String("*.*") ? QStringLiteral("*") : caseFreeWildcard(m));
    }
    return filters;
}

TShellList::TShellList(QWidget *parent)
    : QStackedWidget(parent), m_model(new QFileSystemModel(this)), m_table(new QTableView(this)),
      m_icons(new QListView(this))
{
    m_model->setFilter(QDir::Files | QDir::NoDotAndDotDot);
    m_model->setNameFilterDisables(false);
    m_model->setReadOnly(false); // in-place rename

    m_table->setModel(m_model);
    m_table->setShowGrid(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(0, Qt::AscendingOrder);
    m_table->setItemDelegateForColumn(kSizeColumn, new KiloByteDelegate(m_table));
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 150);
    m_table->setColumnWidth(kSizeColumn, 60);
    m_table->setWordWrap(false);

    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_table->selectionModel());
    m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_icons->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_icons->setResizeMode(QListView::Adjust); // automatic arrangement

    // Files can be dragged out to other programs and dropped in (copied into the folder).
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_table), static_cast<QAbstractItemView *>(m_icons)}) {
        view->setDragEnabled(true);
        view->setAcceptDrops(true);
        view->setDragDropMode(QAbstractItemView::DragDrop);
        view->setDefaultDropAction(Qt::CopyAction);
    }
    addWidget(m_table);
    addWidget(m_icons);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_table), static_cast<QAbstractItemView *>(m_icons)}) {
        view->installEventFilter(this);
        connect(view, &QAbstractItemView::clicked, this, [this] { emit Clicked(); });
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
            emit DoubleClicked(index.row());
            bool handled = false;
            if (DblClickOpen)
                DblClickOpen(handled);
            if (!handled)
                (void)platform::OpenDocument(m_model->filePath(index.siblingAtColumn(0)));
        });
    }
    // Changes on disk refill the list ("refresh on change"); tell the window when that ends.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString &path) {
        if (!m_waiting && QDir::cleanPath(path) == m_folder)
            emit FillComplete();
    });
}

bool TShellList::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        emit KeyDown(key->key(), key->modifiers());
    }
    return QStackedWidget::eventFilter(watched, event);
}

void TShellList::SetFilter(const QString &mask)
{
    if (mask == m_mask)
        return;
    m_mask = mask;
    m_model->setNameFilters(NameFiltersForMask(mask));
    if (!m_folder.isEmpty()) {
        waitForRows();
        emit FillComplete();
    }
}

void TShellList::SetFolder(const QString &folder)
{
    const QString absolute = folder.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    if (absolute == m_folder)
        return;
    m_folder = absolute;
    m_table->clearSelection();
    applyRoot();
    waitForRows();
    emit FillComplete();
}

void TShellList::GoUp()
{
    if (m_folder.isEmpty() || m_folder == QLatin1String("/"))
        return;
    SetFolder(QFileInfo(m_folder).absolutePath());
}

void TShellList::applyRoot()
{
    const QModelIndex root = m_model->setRootPath(m_folder);
    // A folder that does not exist has no index; Count() is then 0.
    m_table->setRootIndex(root);
    m_icons->setRootIndex(root);
}

void TShellList::waitForRows()
{
    if (!QFileInfo(m_folder).isDir())
        return;
    const int expected = int(QDir(m_folder).entryList(m_model->nameFilters(), QDir::Files | QDir::NoDotAndDotDot).size());
    // Done when the rows are all there, or when the model says the folder is loaded (it may
    // skip entries the listing counted, such as broken links), or after the time limit.
    QEventLoop loop;
    bool loaded = false;
    const auto check = [&] {
        if (loaded || Count() >= expected)
            loop.quit();
    };
    const auto onLoaded = connect(m_model, &QFileSystemModel::directoryLoaded, &loop, [&](const QString &path) {
        if (QDir::cleanPath(path) == m_folder)
            loaded = true;
        check();
    });
    const auto onRows = connect(m_model, &QAbstractItemModel::rowsInserted, &loop, check);
    QTimer::singleShot(kFillWaitMs, &loop, &QEventLoop::quit);
    m_waiting = true;
    if (Count() < expected)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // Let the model's delayed sort run so rows are in display order.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_waiting = false;
    disconnect(onLoaded);
    disconnect(onRows);
}

void TShellList::SetViewStyle(ViewStyle style)
{
    m_style = style;
    switch (style) {
    case ViewStyle::Report:
        setCurrentWidget(m_table);
        break;
    case ViewStyle::LargeIcons:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(32, 32));
        m_icons->setGridSize(QSize(90, 64));
        m_icons->setWordWrap(true);
        setCurrentWidget(m_icons);
        break;
    case ViewStyle::List:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize());
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setWrapping(true);
        setCurrentWidget(m_icons);
        break;
    }
}

QModelIndex TShellList::rootIndex() const
{
    return m_table->rootIndex();
}

QModelIndex TShellList::indexAt(int row) const
{
    if (row < 0 || row >= Count())
        return QModelIndex();
    return m_model->index(row, 0, rootIndex());
}

int TShellList::Count() const
{
    const QModelIndex root = rootIndex();
    return root.isValid() ? m_model->rowCount(root) : 0;
}

QString TShellList::FilePathAt(int row) const
{
    const QModelIndex index = indexAt(row);
    return index.isValid() ? m_model->filePath(index) : QString();
}

qint64 TShellList::FileSizeAt(int row) const
{
    const QModelIndex index = indexAt(row);
    return index.isValid() ? m_model->size(index) : 0;
}

QList<int> TShellList::SelectedRows() const
{
    QList<int> rows;
    const QModelIndex root = rootIndex();
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        if (index.parent() == root)
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TShellList::SelectedRow() const
{
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

void TShellList::ClearSelection()
{
    m_table->selectionModel()->clearSelection();
}

void TShellList::SelectRow(int row)
{
    const QModelIndex index = indexAt(row);
    if (!index.isValid())
        return;
    m_table->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    CurrentView()->scrollTo(index);
    CurrentView()->setFocus();
}

void TShellList::MarkRow(int row)
{
    const QModelIndex index = indexAt(row);
    if (index.isValid())
        m_table->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TShellList::EditRow(int row)
{
    const QModelIndex index = indexAt(row);
    if (index.isValid())
        CurrentView()->edit(index);
}

QAbstractItemView *TShellList::CurrentView() const
{
    return currentWidget() == m_table ? static_cast<QAbstractItemView *>(m_table) : m_icons;
}

TShellTree::TShellTree(QWidget *parent) : QTreeView(parent), m_model(new QFileSystemModel(this))
{
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        hideColumn(column);
    setHeaderHidden(true);
    setIndentation(19);
    setRootIndex(m_model->index(QStringLiteral("/")));
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { followCurrent(current); });
}

void TShellTree::SelectFolder(const QString &folder)
{
    const QString absolute = folder.isEmpty() ? folder : QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    m_selecting = true;
    const QModelIndex index = m_model->index(absolute);
    if (index.isValid()) {
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            expand(parent);
        setCurrentIndex(index);
        scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    m_selecting = false;
    if (m_list)
        m_list->SetFolder(absolute);
}

QString TShellTree::SelectedFolder() const
{
    return m_list ? m_list->Folder() : m_model->filePath(currentIndex());
}

void TShellTree::followCurrent(const QModelIndex &current)
{
    if (m_selecting || !m_list || !current.isValid())
        return;
    m_list->SetFolder(m_model->filePath(current));
}

} // namespace glimmo
