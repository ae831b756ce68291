#pragma once

#include "ConfigSender.h"

#include <QObject>
#include <QPointer>

class ConsoleContext;
class EntryController;
class QLineEdit;
class QPushButton;
class QWidget;

// Wires the "Configuration" button to ConfigSender: a click gathers what
// the entry fields hold, lets ConfigSender check and send it, and shows the
// two diagnostic lines in Text7 and Text8 when the pair was accepted.
class SendController : public QObject
{
    Q_OBJECT
public:
    SendController(QWidget *root, ConsoleContext &context, const EntryController &entry,
                   QObject *parent = nullptr);

    // What a click would send, read from the fields and the entry state.
    SendRequest currentRequest() const;

    // The click of SendRptsBtn.
    void SendRptsBtn_Click();

private:
    const EntryController &m_entry;
    ConfigSender m_sender;
    QPointer<QPushButton> m_button;
    QPointer<QLineEdit> m_t1Value;
    QPointer<QLineEdit> m_t1Dixieme;
    QPointer<QLineEdit> m_t2Value;
    QPointer<QLineEdit> m_t2Dixieme;
    QPointer<QLineEdit> m_text7;
    QPointer<QLineEdit> m_text8;
};
