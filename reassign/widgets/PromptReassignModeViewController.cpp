#include "reassign/widgets/PromptReassignModeViewController.h"

#include "reassign/ReassignModeChoice.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

const char *const cTagProperty = "tag";

} // namespace

PromptReassignModeViewController::PromptReassignModeViewController(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("PromptReassignModeViewController"));
    setWindowTitle(tr("Reassign Mode"));
    auto *layout = new QVBoxLayout(this);
    auto *question = new QLabel(tr("How are these photos to be reassigned?"), this);
    question->setObjectName(QStringLiteral("promptQuestion"));
    QFont bold = question->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    question->setFont(bold);
    layout->addWidget(question);
    const int stored = Settings::shared().intValue(cPrefRadioSet1SelectedTag);
    QPushButton *manual = addModeButton(QStringLiteral("manualModeButton"), tr("One Code For All"),
                                        tr("Scan one code; every selected photo gets it."), int(ReassignMode::defaultmode));
    QPushButton *automatic
        = addModeButton(QStringLiteral("autoModeButton"), tr("A Code Per Card Photo"),
                        tr("Scan or detect the code on each card photo; the photos after it follow."), int(ReassignMode::mode202));
    // The mode in effect is the one offered first.
    (stored == int(ReassignMode::mode202) ? automatic : manual)->setFocus(Qt::OtherFocusReason);
    auto *cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(cancel, 0, Qt::AlignRight);
}

QPushButton *PromptReassignModeViewController::addModeButton(const QString &name, const QString &title, const QString &detail, int tag)
{
    auto *button = new QPushButton(title, this);
    button->setObjectName(name);
    button->setProperty(cTagProperty, tag);
    button->setToolTip(detail);
    button->setAutoDefault(false);
    button->setMinimumHeight(48);
    connect(button, &QPushButton::clicked, this, &PromptReassignModeViewController::ibDoButton);
    static_cast<QVBoxLayout *>(layout())->addWidget(button);
    auto *label = new QLabel(detail, this);
    label->setWordWrap(true);
    static_cast<QVBoxLayout *>(layout())->addWidget(label);
    return button;
}

int PromptReassignModeViewController::tagOf(const QPushButton *button)
{
    return button ? button->property(cTagProperty).toInt() : 0;
}

void PromptReassignModeViewController::ibDoButton()
{
    if (chooseReassignMode(tagOf(qobject_cast<QPushButton *>(sender()))))
        accept();
}

PromptReassignModeViewController *showReassignModePrompt(QWidget *parent)
{
    auto *prompt = new PromptReassignModeViewController(parent);
    prompt->setAttribute(Qt::WA_DeleteOnClose);
    prompt->open();
    return prompt;
}

} // namespace sorrelby
