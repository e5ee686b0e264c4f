#include "app/widgets/status_parts.h"

#include <QLabel>

namespace vn {

StatusParts::StatusParts(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("statusParts"));
    for (size_t i = 0; i < parts_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("status%1").arg(i));
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(0);
        parts_[i] = label;
    }
}

void StatusParts::setText(int part, const QString& text)
{
    if (part >= 0 && part < int(parts_.size()))
        parts_[size_t(part)]->setText(text);
}

QString StatusParts::text(int part) const
{
    return part >= 0 && part < int(parts_.size()) ? parts_[size_t(part)]->text() : QString();
}

QLabel* StatusParts::part(int index) const
{
    return index >= 0 && index < int(parts_.size()) ? parts_[size_t(index)] : nullptr;
}

QSize StatusParts::sizeHint() const
{
    return QSize(StatusPartEdges.back(), fontMetrics().height() + 6);
}

QSize StatusParts::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height() + 6);
}

void StatusParts::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    int left = 0;
    for (size_t i = 0; i < parts_.size(); ++i) {
        // The last part takes what is left; fixed parts beyond the window's width are cut off.
        const int right = i < StatusPartEdges.size() ? StatusPartEdges[i] : std::max(left, width());
        parts_[i]->setGeometry(left, 0, std::max(0, right - left - 2), height());
        left = right;
    }
}

} // namespace vn
