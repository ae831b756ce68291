#pragma once

#include "MessageBoxes.h"

#include <memory>

class QMessageBox;
class QWidget;

// The program's boxes as QMessageBox, captioned with the application title
// and placed over the active window.
class QtMessageBoxes : public MessageBoxes
{
public:
    void message(const QString &text) override;
    Answer askOkCancel(const QString &text) override;

    // The boxes as shown, built but not run (so their look can be checked
    // without a modal loop).
    static std::unique_ptr<QMessageBox> buildMessage(const QString &text, QWidget *parent);
    static std::unique_ptr<QMessageBox> buildOkCancel(const QString &text, QWidget *parent);
    // What a finished OK/Cancel box answers: only the OK button means OK.
    static Answer answerOf(const QMessageBox &box);
};
