#pragma once
// The selected photo shown large inside the window (Space). Arrow keys step
// to the previous or next photo, Space or Escape closes. The thumbnail is
// shown at once; the photo itself is decoded, reduced to the window, on a
// worker thread and replaces it when ready. GUI thread.

#include <QImage>
#include <QWidget>

namespace sorrelby {

class PhotoPreview : public QWidget {
    Q_OBJECT
public:
    explicit PhotoPreview(QWidget *parent = nullptr);

    void showPhoto(const QString &path, const QImage &thumbnail);
    QString path() const { return m_path; }

Q_SIGNALS:
    void stepRequested(int step);
    void closed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void close();
    QString m_path;
    QImage m_image;
    quint64 m_generation = 0;
};

} // namespace sorrelby
