#include "SendController.h"

#include "EntryController.h"

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace {

template <typename T> QPointer<T> findControl(QWidget *root, const char *name)
{
    T *control = root ? root->findChild<T *>(QLatin1String(name)) : nullptr;
    Q_ASSERT_X(control, "SendController", name);
    if (!control)
        qWarning("SendController: control %s not found", name);
    return control;
}

QString textOf(const QPointer<QLineEdit> &edit)
{
    return edit ? edit->text() : QString();
}

} // namespace

SendController::SendController(QWidget *root, ConsoleContext &context, const EntryController &entry,
                               QObject *parent)
    : QObject(parent), m_entry(entry), m_sender(context)
{
    m_button = findControl<QPushButton>(root, "SendRptsBtn");
    m_t1Value = findControl<QLineEdit>(root, "Text_t1_value");
    m_t1Dixieme = findControl<QLineEdit>(root, "Text_t1_dixieme");
    m_t2Value = findControl<QLineEdit>(root, "Text_t2_value");
    m_t2Dixieme = findControl<QLineEdit>(root, "Text_t2_dixieme");
    m_text7 = findControl<QLineEdit>(root, "Text7");
    m_text8 = findControl<QLineEdit>(root, "Text8");
    if (m_button)
        connect(m_button, &QPushButton::clicked, this, &SendController::SendRptsBtn_Click);
}

SendRequest SendController::currentRequest() const
{
    SendRequest request;
    request.Signe_t1 = m_entry.Signe_t1();
    request.Signe_t2 = m_entry.Signe_t2();
    request.Text_t1_value = textOf(m_t1Value);
    request.Text_t1_dixieme = textOf(m_t1Dixieme);
    request.Text_t2_value = textOf(m_t2Value);
    request.Text_t2_dixieme = textOf(m_t2Dixieme);
    request.Mode_relais = m_entry.Mode_relais();
    return request;
}

void SendController::SendRptsBtn_Click()
{
    const SendResult result = m_sender.send(currentRequest());
    if (!result.accepted)
        return;
    if (m_text7)
        m_text7->setText(result.Text7);
    if (m_text8)
        m_text8->setText(result.Text8);
}
