#pragma once

#include "ConsoleContext.h"
#include "HIDagentX.h"
#include "Platform.h"
#include "ReadoutEdit.h"
#include "ThermoDisplay.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class DeviceConnection;
class EntryController;
class HexDumpView;
class MemoryEditors;
class ResultsLog;
class SendController;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolBar;
class TSoftDet;

// The program's one working window: the thermostat's read-out, the entry of
// new settings, the results log, and the toolbar and menu. Every control is
// a member named like its objectName. The rules live in widget-free classes
// (DeviceConnection, ReadCycle, ResultsLog, ThermoDisplay, ...); the window
// forwards its events to them and shows what they answer.
//
// The client area is 15375 x 10035 twips (1025 x 669 pixels) below the menu
// bar; the results log, its buttons, the debug boxes and the memory views
// lie beyond it, so they exist and work but are not seen.
class Form_main : public QMainWindow, public ConsoleContext
{
    Q_OBJECT
public:
    Form_main(Platform platform, std::shared_ptr<HIDagentX> agent, QWidget *parent = nullptr);
    ~Form_main() override;

    // Runs the load sequence once. False means the user gave up opening the
    // thermostat: the window has unloaded and the program should end.
    bool load();

    // ConsoleContext
    const std::vector<std::shared_ptr<TSoftDet>> &Devices() const override;
    void AddToResults(const QString &line) override;
    void AddToResults_status(const QString &text) override;
    const Platform &platform() const override { return m_platform; }

    void EnableDeviceControls(bool enabled);
    void HideRelayImages();

    void PrepareHidAgent();
    bool OpenThermostat();
    void CloseHidAgent();
    std::shared_ptr<TSoftDet> LastDevice() const;
    bool StartingUp() const;

    // The results log and the status box as text, line breaks as CR LF.
    QString resultsText() const;
    QString statusText() const;

    // One read cycle, as a click on "Lecture" or a tick of Timer1 runs it.
    void readCycle();

    // The web-link and about windows live in the windows library; these
    // default to its show-or-bring-forward helpers.
    void setShowWebWindow(std::function<void()> f) { m_showWebWindow = std::move(f); }
    void setShowAboutWindow(std::function<void()> f) { m_showAboutWindow = std::move(f); }

    // The command bound to a toolbar key ("A".."E"), as a click runs it.
    void runCommand(const QString &key);

    const QString &helpFile() const { return m_helpFile; }

    // Controls, by their names.
    QWidget *client = nullptr; // the client area under the menu bar
    QToolBar *Tb1 = nullptr;
    QList<QIcon> imgl; // the toolbar's pictures, in button order
    QMenu *Menu = nullptr;
    QAction *ItemOpenHex = nullptr;
    QAction *test = nullptr;
    QAction *ItemInternet = nullptr;
    QAction *ItemAbout = nullptr;
    QAction *ItemExit = nullptr;

    QLabel *Label5 = nullptr;
    QLabel *Image2 = nullptr;
    QFrame *Line1 = nullptr;
    QFrame *Line2 = nullptr;

    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QGroupBox *Frame16 = nullptr;
    QCheckBox *ContinuousCB = nullptr;
    QGroupBox *Frame15 = nullptr;
    ReadoutEdit *Text_nombre_t = nullptr;
    QGroupBox *Frame14 = nullptr;
    ReadoutEdit *Text_Mode_relais = nullptr;
    QGroupBox *Frame17 = nullptr;
    ReadoutEdit *Txt_t1_uniter_recev = nullptr;
    ReadoutEdit *Txt_t2_uniter_recev = nullptr;
    QGroupBox *Frame5 = nullptr;
    QLabel *Image4 = nullptr;
    QLabel *Image5 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label2 = nullptr;

    QGroupBox *Frame2 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QGroupBox *Frame6 = nullptr;
    QLabel *Label7 = nullptr;
    QComboBox *Combo_t1_signe = nullptr;
    QLineEdit *Text_t1_signe = nullptr;
    QLineEdit *Text_t1_value = nullptr;
    QLabel *Label24 = nullptr;
    QLineEdit *Text_t1_dixieme = nullptr;
    QLabel *Label23 = nullptr;
    QLabel *Label18 = nullptr;
    QGroupBox *Frame7 = nullptr;
    QLabel *Label8 = nullptr;
    QComboBox *Combo_t2_signe = nullptr;
    QLineEdit *Text_t2_signe = nullptr;
    QLineEdit *Text_t2_value = nullptr;
    QLabel *Label13 = nullptr;
    QLineEdit *Text_t2_dixieme = nullptr;
    QLabel *Label14 = nullptr;
    QLabel *Label19 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QRadioButton *Option_mode_a = nullptr;
    QRadioButton *Option_mode_b = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Image1 = nullptr;
    QPushButton *SendRptsBtn = nullptr;
    QLabel *Label20 = nullptr;

    QGroupBox *Frame12 = nullptr;
    QLabel *Label25 = nullptr;
    QGroupBox *Frame13 = nullptr;
    QLabel *Label4 = nullptr;
    QGroupBox *Frame18 = nullptr;
    QLabel *Label3 = nullptr;
    QGroupBox *Frame11 = nullptr;
    QPlainTextEdit *Text_connexion1 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QPlainTextEdit *Text_status = nullptr;

    QPushButton *ReadRptsBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
    QPushButton *ClearBtn = nullptr;
    QPushButton *PrintBtn = nullptr;
    QPushButton *HelpBtn = nullptr;
    QPlainTextEdit *ResultsMemo = nullptr;
    QLineEdit *Text7 = nullptr;
    QLineEdit *Text8 = nullptr;
    QGroupBox *Frame9 = nullptr;
    HexDumpView *Rt1 = nullptr;
    QGroupBox *Frame10 = nullptr;
    HexDumpView *Rt2 = nullptr;
    QGroupBox *Frame8 = nullptr;
    QLabel *Label17 = nullptr;
    QLabel *Label21 = nullptr;
    QLabel *Label22 = nullptr;
    QLabel *Image3 = nullptr;
    QLabel *Image6 = nullptr;
    QLabel *Image7 = nullptr;

    QTimer *Timer1 = nullptr;

    // The HID access component, shared with the device objects.
    const std::shared_ptr<HIDagentX> HIDagent;

    // The memory images' dump views behind Rt1 and Rt2.
    MemoryEditors &memoryEditors() { return *m_memoryEditors; }
    // The controllers of the entry fields and of the "Configuration" button.
    EntryController &entryController() { return *m_entryController; }
    SendController &sendController() { return *m_sendController; }

    // Sizes taken at load, in twips.
    std::int16_t MemoHeight0 = 0;
    std::int16_t MemoWidth0 = 0;
    std::int16_t FormHeight0 = 0;
    std::int16_t FormWidth0 = 0;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Layout (Form_mainLayout.cpp).
    void buildControls();
    void buildToolbarAndMenu();
    void buildFrame1();
    void buildFrame2();
    void buildStatusFrames();
    void buildOffscreenControls();
    void keepTabInsideVisibleArea();

    void connectEvents();
    void connectAgent();

    // Load step 9: the memory images and their views.
    void prepareMemoryViews();

    // Handlers.
    void ContinuousCB_Click();
    void ClearBtn_Click();
    void SaveBtn_Click();
    void PrintBtn_Click();
    void HelpBtn_Click();
    void applyDisplay(const ThermoDisplay &display);
    void unload();

    // Runs a handler of the component's events; a failure of the component
    // or of a device object inside it is logged rather than ending the run.
    template <typename Body> void guarded(const QString &what, Body &&body);

    QSize outerSizeTwips() const;
    void fillReadoutBackgrounds();
    void showLogStart();
    void restartLog();
    QString today();

    Platform m_platform;
    std::unique_ptr<ResultsLog> m_results;
    std::unique_ptr<ResultsLog> m_status;
    std::unique_ptr<DeviceConnection> m_connection;
    // Declared before the controllers and views that use it, so it outlives them.
    std::unique_ptr<MemoryEditors> m_memoryEditors;
    std::unique_ptr<EntryController> m_entryController;
    std::unique_ptr<SendController> m_sendController;
    QString m_helpFile;
    QString m_today;
    QElapsedTimer m_todayAge;
    std::function<void()> m_showWebWindow;
    std::function<void()> m_showAboutWindow;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_shownOnce = false;
};
