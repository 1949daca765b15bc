#include "trawlix/controls.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace trawlix {

// ---- TRadioGroup ----------------------------------------------------------------------------

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
    : QGroupBox(caption, parent), m_buttons(new QButtonGroup(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items.at(i), this);
        m_buttons->addButton(button, i);
        layout->addWidget(button);
    }
    connect(m_buttons, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == m_itemIndex)
            return;
        m_itemIndex = id;
        emit Clicked();
    });
}

int TRadioGroup::Count() const
{
    return int(m_buttons->buttons().size());
}

void TRadioGroup::SetItemIndex(int index)
{
    index = std::clamp(index, -1, Count() - 1);
    if (index == m_itemIndex)
        return;
    m_itemIndex = index;
    if (index >= 0) {
        m_buttons->button(index)->setChecked(true);
    } else if (QAbstractButton *checked = m_buttons->checkedButton()) {
        // An exclusive group keeps one button checked; lift that for "none".
        m_buttons->setExclusive(false);
        checked->setChecked(false);
        m_buttons->setExclusive(true);
    }
    emit Clicked();
}

// ---- TUpDown --------------------------------------------------------------------------------

TUpDown::TUpDown(int min, int max, int position, QWidget *parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)), m_min(min), m_max(max),
      m_position(std::clamp(position, min, max))
{
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFixedSize(16, 11);
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetAssociate(QLineEdit *edit)
{
    m_associate = edit;
    if (m_associate)
        m_associate->setText(QString::number(m_position));
}

void TUpDown::SetPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
}

void TUpDown::Step(int direction)
{
    SetPosition(m_position + (direction > 0 ? 1 : -1));
    if (m_associate)
        m_associate->setText(QString::number(m_position));
    emit Click();
}

// ---- TCheckListBox --------------------------------------------------------------------------

TCheckListBox::TCheckListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

QString TCheckListBox::Item(int index) const
{
    const QListWidgetItem *it = item(index);
    return it ? it->text() : QString();
}

int TCheckListBox::IndexOf(const QString &text) const
{
    for (int i = 0; i < count(); ++i)
        if (item(i)->text() == text)
            return i;
    return -1;
}

int TCheckListBox::Add(const QString &text)
{
    auto *it = new QListWidgetItem(text, this);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    it->setCheckState(Qt::Unchecked);
    return count() - 1;
}

Qt::CheckState TCheckListBox::State(int index) const
{
    const QListWidgetItem *it = item(index);
    return it ? it->checkState() : Qt::Unchecked;
}

void TCheckListBox::SetChecked(int index, bool checked)
{
    SetState(index, checked ? Qt::Checked : Qt::Unchecked);
}

void TCheckListBox::SetState(int index, Qt::CheckState state)
{
    if (QListWidgetItem *it = item(index))
        it->setCheckState(state);
}

void TCheckListBox::SetColumns(int columns)
{
    m_columns = std::max(1, columns);
    if (m_columns > 1) {
        setFlow(QListView::TopToBottom);
        setWrapping(true);
        setResizeMode(QListView::Adjust);
    }
    updateGrid();
}

void TCheckListBox::resizeEvent(QResizeEvent *event)
{
    QListWidget::resizeEvent(event);
    updateGrid();
}

void TCheckListBox::updateGrid()
{
    if (m_columns <= 1)
        return;
    const int width = std::max(40, viewport()->width() / m_columns - 1);
    setGridSize(QSize(width, fontMetrics().height() + 4));
}

} // namespace trawlix
