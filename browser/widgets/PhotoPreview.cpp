#include "browser/widgets/PhotoPreview.h"

#include "naming/FileNameScheme.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>

namespace sorrelby {

PhotoPreview::PhotoPreview(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("photoPreview"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    hide();
}

void PhotoPreview::showPhoto(const QString &path, const QImage &thumbnail)
{
    m_path = path;
    m_image = thumbnail;
    const quint64 generation = ++m_generation;
    const QSize wanted = size().isEmpty() ? QSize(1600, 1200) : size();
    show();
    raise();
    setFocus();
    update();
    const QPointer<PhotoPreview> self(this);
    QThreadPool::globalInstance()->start([self, path, wanted, generation] {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize full = reader.size();
        if (full.isValid() && (full.width() > wanted.width() || full.height() > wanted.height()))
            reader.setScaledSize(full.scaled(wanted, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, image, generation] {
            if (self && self->m_generation == generation && !image.isNull()) {
                self->m_image = image;
                self->update();
            }
        });
    });
}

void PhotoPreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 250));
    const QRect area = rect().adjusted(20, 20, -20, -50);
    if (!m_image.isNull()) {
        const QSize fitted = m_image.size().scaled(area.size(), Qt::KeepAspectRatio);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(area.center() - QPoint(fitted.width() / 2, fitted.height() / 2), fitted), m_image);
    }
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(20, 0, -20, -15), Qt::AlignHCenter | Qt::AlignBottom, fileNameOf(m_path));
}

void PhotoPreview::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
        Q_EMIT stepRequested(-1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        Q_EMIT stepRequested(1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PhotoPreview::mousePressEvent(QMouseEvent *)
{
    close();
}

void PhotoPreview::close()
{
    ++m_generation;
    hide();
    Q_EMIT closed();
}

} // namespace sorrelby
