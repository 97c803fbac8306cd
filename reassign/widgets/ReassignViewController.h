#pragma once
// The reassign dialog: the photo being looked at, four navigation buttons
// (and the arrow keys), the code field a barcode scanner types into, the
// prompts, and the reassign, unknown, clear and cancel buttons. A thin
// dialog over ReassignSession, the model that decides and renames; the
// controls show what the model holds, and only the dialog's frame is kept in
// the settings. GUI thread.
//
// Scanner input: a code is text followed by Enter. While one scan is being
// handled the field is hidden and every key is swallowed; a scan that began
// then is swallowed up to its Enter even when the step ends halfway through
// it, so no half code is ever taken. No button is a default button: an Enter
// never presses one.
//
// The browser's segue "dummyButtonSegue1" calls showReassignWindow().

#include "reassign/ReassignSession.h"

#include <QDialog>
#include <QTimer>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sorrelby {

inline constexpr QLatin1StringView cReassignSegue{"dummyButtonSegue1"};

class ReassignViewController : public QDialog {
    Q_OBJECT
public:
    explicit ReassignViewController(QWidget *parent = nullptr);
    ~ReassignViewController() override;

    ReassignSession &session() { return m_session; }
    // The path of the photo on screen once its picture has been loaded.
    QString shownImagePath() const { return m_shownPath; }

public Q_SLOTS:
    void doLeftButtonAction();
    void doRightButtonAction();
    void doBeginningButtonAction();
    void doEndButtonAction();
    void doTextFieldAction();
    void doReassign();
    void doSetAsUnknownButton();
    void doClearButton();
    void doCancel();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void reject() override;

private:
    void buildLayout();
    void showSession();
    void navigate(const QString &direction);
    void setFieldAction(bool connected);
    void showImage(const QString &path);
    void saveFrame();
    void restoreFrame();

    ReassignSession m_session;
    QLabel *m_prompt = nullptr;
    QLabel *m_prompt2 = nullptr;
    QLabel *ibNSImageView = nullptr;
    QLabel *m_position = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_fieldBox = nullptr;
    QLineEdit *ibNSTextField = nullptr;
    QPushButton *ibAssignUnknownNSButon = nullptr;
    QPushButton *m_reassignButton = nullptr;
    QList<QPushButton *> m_buttons;
    QMetaObject::Connection m_fieldAction;
    QTimer m_saveFrame;
    QString m_shownPath;
    quint64 m_imageGeneration = 0;
    bool m_discardingScan = false;
    bool m_frameRestored = false;
};

// The segue's work: shows the reassign dialog over parent (the one already
// open when there is one), ready for the browser's "myReassignId".
ReassignViewController *showReassignWindow(QWidget *parent);

// The settings' text form of a frame, "{{x, y}, {width, height}}".
QString frameToString(const QRect &frame);
std::optional<QRect> frameFromString(const QString &text);

} // namespace sorrelby
