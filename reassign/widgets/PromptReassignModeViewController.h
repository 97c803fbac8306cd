#pragma once
// The reassign mode prompt: how the selected photos are to be reassigned,
// one code for all of them (manual) or a code per card photo followed by a
// decode pass (auto). The buttons carry their mode as tag; the choice is
// chooseReassignMode()'s. GUI thread.
//
// The browser's segue "dummyButtonSegue4" calls showReassignModePrompt().

#include <QDialog>

class QPushButton;

namespace sorrelby {

inline constexpr QLatin1StringView cReassignPromptSegue{"dummyButtonSegue4"};

class PromptReassignModeViewController : public QDialog {
    Q_OBJECT
public:
    explicit PromptReassignModeViewController(QWidget *parent = nullptr);

    // The tag a button stands for.
    static int tagOf(const QPushButton *button);

public Q_SLOTS:
    void ibDoButton();

private:
    QPushButton *addModeButton(const QString &name, const QString &title, const QString &detail, int tag);
};

PromptReassignModeViewController *showReassignModePrompt(QWidget *parent);

} // namespace sorrelby
