#pragma once
// The eight parts of the status bar, each ending at a fixed right edge; the last one reaches the
// window's right side.

#include <QWidget>
#include <array>

class QLabel;

namespace vn {

inline constexpr std::array<int, 7> StatusPartEdges = {30, 180, 388, 410, 610, 654, 1200};

class StatusParts : public QWidget {
    Q_OBJECT
public:
    explicit StatusParts(QWidget* parent = nullptr);

    void setText(int part, const QString& text);
    QString text(int part) const;
    QLabel* part(int index) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::array<QLabel*, 8> parts_{};
};

} // namespace vn
