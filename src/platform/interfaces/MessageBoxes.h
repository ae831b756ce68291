#pragma once

#include <QString>

// The program's modal boxes. Real dialogs in QtMessageBoxes; tests use a
// scripted double that records what it was asked and answers as told.
class MessageBoxes
{
public:
    enum class Answer { Ok, Cancel };

    virtual ~MessageBoxes() = default;

    // OK button only, no icon, the application title as caption.
    virtual void message(const QString &text) = 0;

    // OK and "Annuler", information icon, the application title as caption.
    virtual Answer askOkCancel(const QString &text) = 0;
};
