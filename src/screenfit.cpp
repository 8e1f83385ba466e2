#include "screenfit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

// Fits each dialog on its first show; later shows keep what the user made of it.
class DialogFitter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && dialog->isWindow() && !dialog->property(Fitted).toBool()) {
                dialog->setProperty(Fitted, true);
                ScreenFit::fit(dialog);
            }
        }
        return false;
    }

private:
    static constexpr const char* Fitted = "ostrovelScreenFitted";
};

} // namespace

QSize ScreenFit::fittedSize(const QSize& wanted, const QSize& minimum, const QRect& available)
{
    const QSize room(std::max(1, available.width() - FrameWidth),
                     std::max(1, available.height() - FrameHeight));
    return wanted.boundedTo(room).expandedTo(minimum);
}

void ScreenFit::fit(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize size = fittedSize(window->size(), window->minimumSizeHint(), available);
    if (size != window->size())
        window->resize(size);
    // Inside the area, the frame's top left included.
    QPoint at = window->pos();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() - size.width() - FrameWidth)));
    at.setY(
        std::clamp(at.y(), available.top(),
                   std::max(available.top(), available.bottom() - size.height() - FrameHeight)));
    if (at != window->pos())
        window->move(at);
}

void ScreenFit::fitDialogs()
{
    static DialogFitter* fitter = nullptr;
    if (!fitter) {
        fitter = new DialogFitter(qApp);
        qApp->installEventFilter(fitter);
    }
}
