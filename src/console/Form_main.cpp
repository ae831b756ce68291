#include "Form_main.h"

#include "AppInfo.h"
#include "DeviceConnection.h"
#include "EntryController.h"
#include "ErrorRecord.h"
#include "Form_about.h"
#include "Form_web.h"
#include "HexDumpView.h"
#include "LogFile.h"
#include "MainCommands.h"
#include "MainWindowRules.h"
#include "MemoryEditors.h"
#include "ReadCycle.h"
#include "ResultsLog.h"
#include "SendController.h"
#include "TSoftDet.h"
#include "ThermoFormat.h"
#include "Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <exception>
#include <vector>

// The relay pictures are compiled into this static library; its resources
// must be registered by name before the first use.
static void initConsoleResources()
{
    Q_INIT_RESOURCE(console);
}

Form_main::Form_main(Platform platform, std::shared_ptr<HIDagentX> agent, QWidget *parent)
    : QMainWindow(parent), HIDagent(std::move(agent)), m_platform(std::move(platform)),
      m_memoryEditors(std::make_unique<MemoryEditors>())
{
    initConsoleResources();
    setObjectName(QStringLiteral("Form_main"));
    setWindowTitle(AppInfo::title());
    // A fixed tool window: title bar with a close button only.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Qt does not count tool windows when deciding that the last window has
    // closed; this one is the program's main window and must count.
    setAttribute(Qt::WA_QuitOnClose, true);

    buildControls();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    fillReadoutBackgrounds();

    m_results = std::make_unique<ResultsLog>(*ResultsMemo->document());
    m_status = std::make_unique<ResultsLog>(*Text_connexion1->document());
    m_connection = std::make_unique<DeviceConnection>(HIDagent, *this, this,
                                                      [this] { ContinuousCB->setChecked(false); });
    // They find the controls by name, so they come once the controls exist.
    m_entryController = std::make_unique<EntryController>(this, *this);
    m_sendController = std::make_unique<SendController>(this, *this, *m_entryController);
    m_showWebWindow = [this] { Form_web::showOrRaise(m_platform); };
    m_showAboutWindow = [this] { Form_about::showOrRaise(m_platform); };

    connectEvents();
    connectAgent();
}

Form_main::~Form_main()
{
    // The component outlives us (tests hold it too): stop its events from
    // reaching a window that is going away, then close it if nobody did.
    if (HIDagent)
        HIDagent->disconnect(this);
    if (m_loaded)
        unload();
    // The dump views read the memory editors until they go: let them go
    // first, while the editors are still there.
    delete Rt1;
    delete Rt2;
}

void Form_main::connectEvents()
{
    connect(ContinuousCB, &QCheckBox::toggled, this, [this] { ContinuousCB_Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { readCycle(); });
    connect(ReadRptsBtn, &QPushButton::clicked, this, [this] { readCycle(); });
    connect(ClearBtn, &QPushButton::clicked, this, [this] { ClearBtn_Click(); });
    connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveBtn_Click(); });
    connect(PrintBtn, &QPushButton::clicked, this, [this] { PrintBtn_Click(); });
    connect(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtn_Click(); });
}

void Form_main::connectAgent()
{
    DeviceConnection *c = m_connection.get();
    HIDagentX *a = HIDagent.get();
    connect(a, &HIDagentX::OnIntfClosed, this,
            [this, c](std::int32_t n, const QString &name, std::int32_t h) {
                guarded(QStringLiteral("OnIntfClosed"), [&] { c->OnIntfClosed(n, name, h); });
            });
    connect(a, &HIDagentX::OnDeviceConnected, this, [this, c](std::int32_t n, const QString &name) {
        guarded(QStringLiteral("OnDeviceConnected"), [&] { c->OnDeviceConnected(n, name); });
    });
    connect(a, &HIDagentX::OnDeviceDisconnected, this, [this, c](std::int32_t n, const QString &name) {
        guarded(QStringLiteral("OnDeviceDisconnected"), [&] { c->OnDeviceDisconnected(n, name); });
    });
    connect(a, &HIDagentX::OnAgentMessage, this, [this, c](const QString &text) {
        guarded(QStringLiteral("OnAgentMessage"), [&] { c->OnAgentMessage(text); });
    });
    connect(a, &HIDagentX::OnIntfOpened, this,
            [this, c](std::int32_t v1, std::int32_t v2, std::int32_t n, const QString &name) {
                guarded(QStringLiteral("OnIntfOpened"), [&] { c->OnIntfOpened(v1, v2, n, name); });
            });
    connect(a, &HIDagentX::OnRptArrived, this, [this, c](std::int32_t inIntf, std::int32_t all) {
        guarded(QStringLiteral("OnRptArrived"), [&] { c->OnRptArrived(inIntf, all); });
    });
    connect(a, &HIDagentX::OnRptSelected, this, [this, c](std::int32_t all) {
        guarded(QStringLiteral("OnRptSelected"), [&] { c->OnRptSelected(all); });
    });
}

template <typename Body> void Form_main::guarded(const QString &what, Body &&body)
{
    // An exception must not unwind through Qt's event dispatch. The device
    // objects report their own failures; here we make sure the user sees
    // one line saying which event failed, and the program goes on.
    QString failure;
    try {
        body();
        return;
    } catch (const ErrorRecord &e) {
        failure = e.source() + QStringLiteral(" - ") + e.description() + QStringLiteral(" (0x") +
                  ThermoFormat::hex(e.code()) + QLatin1Char(')');
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    m_platform.beeper->beep();
    AddToResults(QStringLiteral("+ + + ") + what + QStringLiteral(" failed: ") + failure +
                 QStringLiteral(" + + +"));
}

bool Form_main::load()
{
    if (m_loaded)
        return !m_unloaded;
    m_loaded = true;

    HideRelayImages(); // 1
    setWindowTitle(MainWindowRules::caption(AppInfo::versionMajor(), AppInfo::versionMinor(),
                                            AppInfo::versionRevision()));    // 2
    m_connection->setStartingUp(true);                                       // 3
    m_helpFile = AppInfo::helpFile();                                        // 4
    MemoHeight0 = static_cast<std::int16_t>(toTwips(ResultsMemo->height())); // 5
    MemoWidth0 = static_cast<std::int16_t>(toTwips(ResultsMemo->width()));
    const QSize outer = outerSizeTwips();
    FormHeight0 = static_cast<std::int16_t>(outer.height());
    FormWidth0 = static_cast<std::int16_t>(outer.width());
    ClearBtn_Click();                         // 6
    m_entryController->setTenthsMaxLengths(); // 7
    m_entryController->resetModeRelais();     // 8
    prepareMemoryViews();                     // 9
    m_entryController->clearEntryFlags();     // 10
    SendRptsBtn->setVisible(false);           // 11
    bool opened = false;
    try {
        PrepareHidAgent(); // 12
        opened = OpenThermostat();
    } catch (const ErrorRecord &e) {
        // The component itself failed (no permission on the HID nodes, no
        // udev...). Say so and end like a cancelled start rather than abort.
        m_platform.messageBoxes->message(QStringLiteral("Erreur du composant HID : ") + e.source() +
                                         QStringLiteral(" - ") + e.description());
    }
    if (!opened) { // 13
        unload();
        return false;
    }
    EnableDeviceControls(true);
    m_connection->setStartingUp(false); // 14
    ContinuousCB->setChecked(true);     // 15
    Timer1->start();                    // 16
    return true;
}

void Form_main::prepareMemoryViews()
{
    m_memoryEditors->StartUp();
}

void Form_main::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Timer1->stop();
    guarded(QStringLiteral("CloseHidAgent"), [this] { CloseHidAgent(); });
}

void Form_main::closeEvent(QCloseEvent *event)
{
    if (m_loaded)
        unload();
    QMainWindow::closeEvent(event);
}

QSize Form_main::outerSizeTwips() const
{
    return QSize(toTwips(width()), toTwips(height()));
}

void Form_main::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (!m_loaded)
        return;
    const auto memo = MainWindowRules::memoSizeFor(QSize(MemoWidth0, MemoHeight0),
                                                   QSize(FormWidth0, FormHeight0), outerSizeTwips());
    if (memo)
        ResultsMemo->resize(twips(memo->width()), twips(memo->height()));
}

void Form_main::fillReadoutBackgrounds()
{
    // A read-out changes while reading runs, the temperature at nearly every
    // tick. Repainting it used to repaint the two frames beneath it as well,
    // half of the program's time. Each read-out now fills its rectangle with
    // a picture of exactly what lies beneath it (the window's background and
    // the frames' own painting, children left out), so Qt paints it alone
    // and the screen is the same, pixel for pixel.
    for (ReadoutEdit *readout : {Text_nombre_t, Text_Mode_relais, Txt_t1_uniter_recev, Txt_t2_uniter_recev}) {
        const qreal ratio = devicePixelRatioF();
        QPixmap beneath(readout->size() * ratio);
        beneath.setDevicePixelRatio(ratio);
        // Opaque, or Qt would still paint the frames beneath first; the
        // window's background covers all of it anyway.
        beneath.fill(palette().color(QPalette::Window));
        {
            QPainter painter(&beneath);
            std::vector<QWidget *> ancestors;
            for (QWidget *w = readout->parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget())
                ancestors.push_back(w);
            for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
                QWidget *w = *it;
                const QRect area(readout->mapTo(w, QPoint(0, 0)), readout->size());
                w->render(&painter, QPoint(0, 0), QRegion(area),
                          w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
            }
        }
        readout->setBackgroundPicture(beneath);
    }
    // The temperature changes at nearly every read, between a few values.
    Text_nombre_t->setPaintingKept(true);
}

void Form_main::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // What lies beneath the read-outs changes with the style and the colours.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange)
        fillReadoutBackgrounds();
}

void Form_main::showEvent(QShowEvent *event)
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}

const std::vector<std::shared_ptr<TSoftDet>> &Form_main::Devices() const
{
    return m_connection->Devices();
}

void Form_main::AddToResults(const QString &line)
{
    m_results->addLine(line);
}

void Form_main::AddToResults_status(const QString &text)
{
    m_status->append(text);
}

QString Form_main::resultsText() const
{
    return m_results->text();
}

QString Form_main::statusText() const
{
    return m_status->text();
}

void Form_main::EnableDeviceControls(bool enabled)
{
    ReadRptsBtn->setEnabled(enabled);
    SendRptsBtn->setEnabled(enabled);
    ContinuousCB->setEnabled(enabled);
}

void Form_main::HideRelayImages()
{
    Image4->setVisible(false);
    Image5->setVisible(false);
    Label11->setVisible(false);
    Label12->setVisible(false);
}

void Form_main::PrepareHidAgent()
{
    m_connection->PrepareHidAgent();
}

bool Form_main::OpenThermostat()
{
    return m_connection->OpenThermostat();
}

void Form_main::CloseHidAgent()
{
    m_connection->CloseHidAgent();
}

std::shared_ptr<TSoftDet> Form_main::LastDevice() const
{
    return m_connection->LastDevice();
}

bool Form_main::StartingUp() const
{
    return m_connection->StartingUp();
}

void Form_main::readCycle()
{
    {
        const ResultsLog::Batch batch(*m_results);
        ReadCycle cycle(
            *this, [this] { restartLog(); }, [this](const ThermoDisplay &d) { applyDisplay(d); });
        cycle.run();
    }
    // The log was replaced as the batch closed: back to its start.
    showLogStart();
}

void Form_main::showLogStart()
{
    // Moving the caret lays out the memo's first line again; when the caret
    // is already at the start and nothing is scrolled, it would change
    // nothing, ten times a second.
    if (ResultsMemo->textCursor().position() != 0 || ResultsMemo->textCursor().hasSelection() ||
        ResultsMemo->verticalScrollBar()->value() != 0 || ResultsMemo->horizontalScrollBar()->value() != 0)
        ResultsMemo->moveCursor(QTextCursor::Start);
}

void Form_main::applyDisplay(const ThermoDisplay &d)
{
    // Setting a line edit's text lays it out and repaints it, and the frames
    // beneath it, even when the text is the same; ten times a second that
    // was most of the program's time. Only a change reaches the screen.
    const auto show = [](QLineEdit *field, const QString &text) {
        if (field->text() != text)
            field->setText(text);
    };
    if (d.temperature)
        show(Text_nombre_t, *d.temperature);
    if (d.probe) {
        // After a fault the working state goes back to the normal colour, so
        // red always means something is wrong.
        const QColor colour = d.probe->fault ? QColor(255, 0, 0) : palette().color(QPalette::Text);
        if (Text_status->palette().color(QPalette::Text) != colour) {
            QPalette p = Text_status->palette();
            p.setColor(QPalette::Text, colour);
            Text_status->setPalette(p);
        }
        // Rebuilding the box's document ten times a second for the same
        // words would cost more than the rest of the cycle.
        if (Text_status->toPlainText() != d.probe->text)
            Text_status->setPlainText(d.probe->text);
    }
    if (d.contactOnNO) {
        const bool onNO = *d.contactOnNO;
        Image4->setVisible(onNO);
        Label11->setVisible(onNO);
        Image5->setVisible(!onNO);
        Label12->setVisible(!onNO);
    }
    if (d.mode)
        show(Text_Mode_relais, *d.mode);
    if (d.low)
        show(Txt_t1_uniter_recev, *d.low);
    if (d.high)
        show(Txt_t2_uniter_recev, *d.high);
}

void Form_main::ContinuousCB_Click()
{
    const bool on = ContinuousCB->isChecked();
    if (on)
        Timer1->start();
    else
        Timer1->stop();
    ClearBtn->setEnabled(!on);
    SaveBtn->setEnabled(!on);
    PrintBtn->setEnabled(!on);
}

void Form_main::ClearBtn_Click()
{
    // Asked for by the user: today's date as it is now.
    m_todayAge.invalidate();
    restartLog();
}

void Form_main::restartLog()
{
    m_results->reset(MainWindowRules::logHeader(today()) + QStringLiteral("\r\n"));
    // Replacing the text leaves the memo's caret at its end, where every
    // appended line would drag it along; the memo shows the log's start.
    showLogStart();
}

QString Form_main::today()
{
    // The log starts again at every read, ten times a second, and finding
    // today's date reads the time zone each time. Once a second is enough
    // there: the date changes once a day.
    if (!m_todayAge.isValid() || m_todayAge.hasExpired(1000)) {
        m_today = m_platform.regional->shortDate(QDate::currentDate());
        m_todayAge.start();
    }
    return m_today;
}

void Form_main::SaveBtn_Click()
{
    // Three choices, text files (the second) preselected.
    const auto path = m_platform.dialogs->askSaveFileName(
        QStringLiteral("All Files (*.*);;Text Files(*.txt);;Batch Files (*.bat)"), 1);
    if (!path || path->isEmpty())
        return;
    // The old file, if any, is left as it was; the user must know the log
    // was not saved.
    const QString reason = LogFile::save(*m_platform.files, *path, m_results->text());
    if (!reason.isEmpty())
        m_platform.messageBoxes->message(MainWindowRules::saveFailedMessage(*path, reason));
}

void Form_main::PrintBtn_Click()
{
    const auto copies = m_platform.dialogs->askPrintCopies();
    if (!copies || *copies < 1)
        return;
    m_platform.printer->printText(m_results->text() + QStringLiteral("\r\n"), *copies);
}

void Form_main::HelpBtn_Click()
{
    m_platform.help->showContents(m_helpFile);
}

void Form_main::runCommand(const QString &key)
{
    switch (MainCommands::forKey(key)) {
    case MainCommands::Command::WebSite:
        if (m_showWebWindow)
            m_showWebWindow();
        break;
    case MainCommands::Command::About:
        if (m_showAboutWindow)
            m_showAboutWindow();
        break;
    case MainCommands::Command::Quit:
        // No file stays open between operations, so closing is all it takes.
        close();
        break;
    case MainCommands::Command::None:
        break;
    }
}
