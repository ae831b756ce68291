#include "EntryController.h"

#include "AppInfo.h"
#include "ConsoleContext.h"
#include "RelayModePicture.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QValidator>
#include <QWidget>
#include <functional>
#include <utility>

namespace {

// A text box's "no maximum".
constexpr int kNoMaxLength = 32767;

// Lets an edit through only when the resulting text passes the entry rule.
class RuleValidator : public QValidator
{
public:
    RuleValidator(std::function<bool(const QString &)> accepts, QObject *parent)
        : QValidator(parent), m_accepts(std::move(accepts))
    {
    }

    State validate(QString &input, int &) const override { return m_accepts(input) ? Acceptable : Invalid; }

private:
    std::function<bool(const QString &)> m_accepts;
};

template <typename T> QPointer<T> findControl(QWidget *root, const char *name)
{
    T *control = root ? root->findChild<T *>(QLatin1String(name)) : nullptr;
    Q_ASSERT_X(control, "EntryController", name);
    if (!control)
        qWarning("EntryController: control %s not found", name);
    return control;
}

} // namespace

EntryController::EntryController(QWidget *root, ConsoleContext &context, QObject *parent)
    : EntryController(root, context, AppInfo::programFolder(), parent)
{
}

EntryController::EntryController(QWidget *root, ConsoleContext &context, QString programFolder,
                                 QObject *parent)
    : QObject(parent), m_context(context), m_programFolder(std::move(programFolder))
{
    m_t1.signList = findControl<QComboBox>(root, "Combo_t1_signe");
    m_t1.signBox = findControl<QLineEdit>(root, "Text_t1_signe");
    m_t1.value = findControl<QLineEdit>(root, "Text_t1_value");
    m_t1.dixieme = findControl<QLineEdit>(root, "Text_t1_dixieme");
    m_t2.signList = findControl<QComboBox>(root, "Combo_t2_signe");
    m_t2.signBox = findControl<QLineEdit>(root, "Text_t2_signe");
    m_t2.value = findControl<QLineEdit>(root, "Text_t2_value");
    m_t2.dixieme = findControl<QLineEdit>(root, "Text_t2_dixieme");
    m_optionA = findControl<QRadioButton>(root, "Option_mode_a");
    m_optionB = findControl<QRadioButton>(root, "Option_mode_b");
    m_image = findControl<QLabel>(root, "Image1");
    m_sendButton = findControl<QPushButton>(root, "SendRptsBtn");

    connectThreshold(Threshold::TL);
    connectThreshold(Threshold::TH);

    if (m_optionA)
        connect(m_optionA, &QRadioButton::toggled, this,
                [this](bool checked) { onModeToggled(ThresholdEntry::RelayMode::A, checked); });
    if (m_optionB)
        connect(m_optionB, &QRadioButton::toggled, this,
                [this](bool checked) { onModeToggled(ThresholdEntry::RelayMode::B, checked); });

    // The picture area starts with the drawn curve of mode A, the default mode.
    showModePicture(ThresholdEntry::RelayMode::A, false);
}

EntryController::~EntryController() = default;

void EntryController::connectThreshold(Threshold t)
{
    const Controls &c = controls(t);
    if (c.signList) {
        // Only a chosen item counts; nothing can be typed into the list.
        c.signList->setEditable(false);
        connect(c.signList, &QComboBox::activated, this, [this, t](int index) { onSignChosen(t, index); });
    }
    if (c.value) {
        c.value->setValidator(new RuleValidator(&ThresholdEntry::acceptsValueText, c.value));
        c.value->installEventFilter(this);
        connect(c.value, &QLineEdit::textChanged, this, [this, t](const QString &text) {
            m_rules.valueTextChanged(t, text);
            apply();
        });
    }
    if (c.dixieme) {
        c.dixieme->setValidator(new RuleValidator(&ThresholdEntry::acceptsDixiemeText, c.dixieme));
        c.dixieme->installEventFilter(this);
        connect(c.dixieme, &QLineEdit::textChanged, this, [this, t](const QString &text) {
            m_rules.dixiemeTextChanged(t, text);
            apply();
        });
    }
}

void EntryController::setTenthsMaxLengths()
{
    m_rules.setTenthsMaxLengths();
    apply();
}

void EntryController::resetModeRelais()
{
    m_rules.resetModeRelais();
}

void EntryController::clearEntryFlags()
{
    m_rules.clearEntryFlags();
}

bool EntryController::eventFilter(QObject *watched, QEvent *event)
{
    // Only the primary button clicks: a right click (context menu) or a
    // middle click leaves the field, its flag and the lock as they are.
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        bool isValue = false;
        bool isDixieme = false;
        const Threshold t = thresholdOf(watched, &isValue, &isDixieme);
        if (isValue) {
            m_rules.clickValue(t);
            apply();
        } else if (isDixieme) {
            m_rules.clickDixieme(t);
            apply();
        }
    }
    // The click itself goes on to the text box (caret, focus).
    return QObject::eventFilter(watched, event);
}

EntryController::Threshold EntryController::thresholdOf(QObject *watched, bool *isValue,
                                                        bool *isDixieme) const
{
    for (const Threshold t : {Threshold::TL, Threshold::TH}) {
        const Controls &c = t == Threshold::TL ? m_t1 : m_t2;
        if (watched == c.value) {
            *isValue = true;
            return t;
        }
        if (watched == c.dixieme) {
            *isDixieme = true;
            return t;
        }
    }
    return Threshold::TL;
}

void EntryController::onSignChosen(Threshold t, int index)
{
    const Controls &c = controls(t);
    if (!c.signList || index < 0)
        return;
    const QStringList messages = m_rules.chooseSign(t, c.signList->itemText(index));
    // The new sign shows at once, before any box; the clamped value
    // appears once the box is closed.
    if (c.signBox && !messages.isEmpty()) {
        const QSignalBlocker block(c.signBox);
        c.signBox->setText(t == Threshold::TL ? m_rules.t1().signeText : m_rules.t2().signeText);
    }
    showMessages(messages);
    apply();
}

void EntryController::onModeToggled(ThresholdEntry::RelayMode mode, bool checked)
{
    if (!checked)
        return;
    bool fromFile = false;
    const QImage picture = RelayModePicture::load(m_programFolder, mode, &fromFile);
    m_rules.chooseMode(mode);
    if (m_image) {
        m_image->setPixmap(QPixmap::fromImage(picture));
        m_pictureFromFile = fromFile;
    }
}

void EntryController::showModePicture(ThresholdEntry::RelayMode mode, bool fromFile)
{
    if (!m_image)
        return;
    const QSize area = m_image->size();
    const QSize size = area.width() >= 120 && area.height() >= 80 ? area : RelayModePicture::defaultSize();
    m_image->setPixmap(QPixmap::fromImage(RelayModePicture::draw(mode, size)));
    m_pictureFromFile = fromFile;
}

void EntryController::showMessages(const QStringList &messages)
{
    for (const QString &message : messages)
        m_context.platform().messageBoxes->message(message);
}

void EntryController::apply()
{
    applyThreshold(m_t1, m_rules.t1());
    applyThreshold(m_t2, m_rules.t2());
    if (m_sendButton && m_rules.configButtonShown() && m_sendButton->isHidden())
        m_sendButton->setVisible(true);
}

void EntryController::applyThreshold(const Controls &c, const ThresholdFields &f)
{
    const auto put = [](QLineEdit *edit, const QString &text, int maxLength) {
        const QSignalBlocker block(edit);
        const int max = maxLength > 0 ? maxLength : kNoMaxLength;
        // A text box cuts its text to a shorter maximum: widen first, then
        // set the text, then narrow (the rules never leave a text longer).
        if (edit->maxLength() < text.size())
            edit->setMaxLength(static_cast<int>(text.size()));
        if (edit->text() != text)
            edit->setText(text);
        if (edit->maxLength() != max)
            edit->setMaxLength(max);
    };
    if (c.signBox && c.signBox->text() != f.signeText) {
        const QSignalBlocker block(c.signBox);
        c.signBox->setText(f.signeText);
    }
    if (c.value)
        put(c.value, f.valueText, f.valueMaxLength);
    if (c.dixieme) {
        put(c.dixieme, f.dixiemeText, f.dixiemeMaxLength);
        c.dixieme->setReadOnly(f.dixiemeLocked);
    }
}
