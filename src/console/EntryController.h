#pragma once

#include "ThresholdEntry.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class ConsoleContext;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// Wires the entry controls of the main window to ThresholdEntry: it finds
// them by object name under the window's root widget, forwards their events
// to the rules and puts the rules' state back on screen. It holds no rule of
// its own.
//
// The main window calls, during its load sequence:
//   step 7:  setTenthsMaxLengths()  both tenths fields get maximum length 1
//   step 8:  resetModeRelais()      Mode_relais := 65 (mode A)
//   step 10: clearEntryFlags()      the six entry flags := false
// Hiding SendRptsBtn (step 11) is the window's own duty.
//
// The relay-mode pictures are read from imgs/relay_a.bmp and imgs/relay_b.bmp
// in `programFolder` (AppInfo::programFolder() by default); a missing file
// shows the built-in curve of that mode, without any message.
class EntryController : public QObject
{
    Q_OBJECT
public:
    EntryController(QWidget *root, ConsoleContext &context, QObject *parent = nullptr);
    EntryController(QWidget *root, ConsoleContext &context, QString programFolder, QObject *parent = nullptr);
    ~EntryController() override;

    // Load steps 7, 8 and 10 (see above).
    void setTenthsMaxLengths();
    void resetModeRelais();
    void clearEntryFlags();

    const ThresholdEntry &rules() const { return m_rules; }
    const QString &Signe_t1() const { return m_rules.Signe_t1(); }
    const QString &Signe_t2() const { return m_rules.Signe_t2(); }
    std::int16_t Mode_relais() const { return m_rules.Mode_relais(); }
    bool Ok_t1_signe() const { return m_rules.t1().Ok_signe; }
    bool Ok_t2_signe() const { return m_rules.t2().Ok_signe; }
    bool Ok_t1_value() const { return m_rules.t1().Ok_value; }
    bool Ok_t2_value() const { return m_rules.t2().Ok_value; }
    bool Ok_t1_dixieme() const { return m_rules.t1().Ok_dixieme; }
    bool Ok_t2_dixieme() const { return m_rules.t2().Ok_dixieme; }

    // Whether Image1 shows a picture file (false: the built-in curve).
    bool modePictureFromFile() const { return m_pictureFromFile; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Threshold = ThresholdEntry::Threshold;

    struct Controls
    {
        QPointer<QComboBox> signList;
        QPointer<QLineEdit> signBox;
        QPointer<QLineEdit> value;
        QPointer<QLineEdit> dixieme;
    };

    void connectThreshold(Threshold t);
    void onSignChosen(Threshold t, int index);
    void onModeToggled(ThresholdEntry::RelayMode mode, bool checked);
    void showModePicture(ThresholdEntry::RelayMode mode, bool fromFile);
    void showMessages(const QStringList &messages);
    // Puts the rules' state on screen without raising change events: the
    // rules already ran every change the state holds.
    void apply();
    void applyThreshold(const Controls &c, const ThresholdFields &f);
    Controls &controls(Threshold t) { return t == Threshold::TL ? m_t1 : m_t2; }
    Threshold thresholdOf(QObject *watched, bool *isValue, bool *isDixieme) const;

    ConsoleContext &m_context;
    QString m_programFolder;
    ThresholdEntry m_rules;
    Controls m_t1;
    Controls m_t2;
    QPointer<QRadioButton> m_optionA;
    QPointer<QRadioButton> m_optionB;
    QPointer<QLabel> m_image;
    QPointer<QPushButton> m_sendButton;
    bool m_pictureFromFile = false;
};
