#include "AppInfo.h"
#include "EntryController.h"
#include "FormMainFixture.h"
#include "MainWindowRules.h"
#include "TSoftDet.h"
#include "Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

// A box answered from the script, with something the test wants done while
// a given box is up (a thermostat plugged in, say).
class BoxesWithHook : public ScriptedMessageBoxes
{
public:
    std::function<void(int)> onAsk; // called with the 1-based number of the box
    Answer askOkCancel(const QString &text) override
    {
        ++m_n;
        if (onAsk)
            onAsk(m_n);
        return ScriptedMessageBoxes::askOkCancel(text);
    }

private:
    int m_n = 0;
};

const QString retryText = MainWindowRules::retryMessage(QStringLiteral("Calidor"));

} // namespace

TEST_F(FormMainTest, NormalStart)
{
    loadWithThermostat();

    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Calidor QN52-W   Version béta ") + AppInfo::versionText());
    EXPECT_EQ(doubles.messageBoxes->asked().size(), 0u);
    EXPECT_TRUE(window->ContinuousCB->isChecked());
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_EQ(window->Timer1->interval(), 100);
    EXPECT_FALSE(window->ClearBtn->isEnabled());
    EXPECT_FALSE(window->SaveBtn->isEnabled());
    EXPECT_FALSE(window->PrintBtn->isEnabled());
    EXPECT_TRUE(window->HelpBtn->isEnabled());
    EXPECT_TRUE(window->SendRptsBtn->isHidden());
    EXPECT_TRUE(window->SendRptsBtn->isEnabled());
    EXPECT_TRUE(window->ReadRptsBtn->isEnabled());
    EXPECT_TRUE(window->ContinuousCB->isEnabled());
    EXPECT_FALSE(window->StartingUp());
    EXPECT_EQ(window->Devices().size(), 1u);
    EXPECT_EQ(agent->calls("Activate"), 1);
    EXPECT_FALSE(agent->ShowOperations());
    EXPECT_FALSE(agent->Verbose());
    EXPECT_EQ(window->helpFile(), AppInfo::helpFile());

    // The header, then what the opening wrote.
    const QStringList expected = {
        QStringLiteral("Test results:  ") + doubles.regional->shortDate(QDate::currentDate()),
        QStringLiteral("+ + + Calidor QN52-W (virtual:1) has just been OPENED. + + +"),
        QStringLiteral("(There are now  1 HID interfaces open)"),
    };
    EXPECT_EQ(lines(), expected);

    // Entry start-up ran in the load sequence.
    EXPECT_EQ(window->entryController().Mode_relais(), 65);
    EXPECT_EQ(window->Text_t1_dixieme->maxLength(), 1);
    EXPECT_EQ(window->Text_t2_dixieme->maxLength(), 1);
    EXPECT_FALSE(window->entryController().Ok_t1_signe());

    // Relay pictures stay hidden until a read says where the contact is.
    EXPECT_TRUE(window->Image4->isHidden());
    EXPECT_TRUE(window->Image5->isHidden());
    EXPECT_TRUE(window->Label11->isHidden());
    EXPECT_TRUE(window->Label12->isHidden());
}

TEST_F(FormMainTest, StartingUpIsTrueOnlyWhileOpening)
{
    thermostat = agent->plug(QStringLiteral("T"), 0x101);
    create();
    std::vector<bool> seen;
    QObject::connect(agent.get(), &HIDagentX::OnIntfOpened, window.get(),
                     [&] { seen.push_back(window->StartingUp()); });
    ASSERT_TRUE(window->load());
    EXPECT_EQ(seen, std::vector<bool>{true});
    EXPECT_FALSE(window->StartingUp());
}

TEST_F(FormMainTest, RetriesUntilThePlugThenOpens)
{
    auto boxes = std::make_shared<BoxesWithHook>();
    doubles.messageBoxes = boxes;
    thermostat = agent->plug(QStringLiteral("Calidor QN52-W (virtual:1)"), 0x101, 0x0925, 0x5000, false);
    agent->forgetCriteriaAfterOpen = true;
    boxes->queueAnswers({MessageBoxes::Answer::Ok, MessageBoxes::Answer::Ok, MessageBoxes::Answer::Ok,
                         MessageBoxes::Answer::Ok});
    // The thermostat is plugged in while the fourth box is up; the
    // connection is logged but opens nothing by itself during start-up.
    int opensBeforePlug = -1;
    boxes->onAsk = [&](int n) {
        if (n == 4) {
            opensBeforePlug = agent->calls("OpenMatchingIntfs");
            agent->connectDevice(thermostat);
        }
    };
    create();

    ASSERT_TRUE(window->load());
    EXPECT_EQ(boxes->count(ScriptedMessageBoxes::Kind::OkCancel), 4);
    for (const QString &text : boxes->texts())
        EXPECT_EQ(text, retryText);
    EXPECT_EQ(agent->calls("OpenMatchingIntfs"), 5);
    EXPECT_EQ(opensBeforePlug, 4);
    EXPECT_EQ(agent->criteriaAssignments, 5);
    EXPECT_EQ(window->Devices().size(), 1u);
    EXPECT_TRUE(
        lines().contains(QStringLiteral("+ + + Calidor QN52-W (virtual:1) has just been CONNECTED. + + +")));
    EXPECT_TRUE(window->ContinuousCB->isChecked());
}

TEST_F(FormMainTest, CancelAtStartEndsWithoutWindow)
{
    doubles.messageBoxes->queueAnswer(MessageBoxes::Answer::Cancel);
    create();
    EXPECT_FALSE(window->load());
    EXPECT_EQ(doubles.messageBoxes->count(ScriptedMessageBoxes::Kind::OkCancel), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(agent->calls("CloseAllIntfs"), 1);
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_FALSE(window->ContinuousCB->isChecked());
    // The device controls were never enabled (their design state is kept).
    EXPECT_EQ(agent->calls("OpenMatchingIntfs"), 1);
}

TEST_F(FormMainTest, AComponentFailureAtStartIsShownAndEndsTheStart)
{
    agent->throwOnActivate = true;
    create();
    EXPECT_FALSE(window->load());
    ASSERT_EQ(doubles.messageBoxes->asked().size(), 1u);
    EXPECT_EQ(doubles.messageBoxes->asked()[0].kind, ScriptedMessageBoxes::Kind::Message);
    EXPECT_EQ(doubles.messageBoxes->asked()[0].text,
              QStringLiteral("Erreur du composant HID : HIDagentX:Activate - no HID access"));
    EXPECT_EQ(agent->calls("OpenMatchingIntfs"), 0);
    EXPECT_EQ(agent->calls("CloseAllIntfs"), 1);
    EXPECT_FALSE(window->Timer1->isActive());
}

TEST_F(FormMainTest, ClosingTheWindowClosesTheComponentOnce)
{
    loadWithThermostat();
    window->show();
    window->close();
    EXPECT_EQ(agent->calls("CloseAllIntfs"), 1);
    EXPECT_FALSE(window->Timer1->isActive());
    window.reset();
    EXPECT_EQ(agent->calls("CloseAllIntfs"), 1);
}

TEST_F(FormMainTest, ContinuousReadingSwitchesTimerAndLogButtons)
{
    loadWithThermostat();
    window->ContinuousCB->setChecked(false);
    EXPECT_FALSE(window->Timer1->isActive());
    for (QPushButton *b : {window->ClearBtn, window->SaveBtn, window->PrintBtn})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    window->ContinuousCB->click();
    EXPECT_TRUE(window->ContinuousCB->isChecked());
    EXPECT_TRUE(window->Timer1->isActive());
    for (QPushButton *b : {window->ClearBtn, window->SaveBtn, window->PrintBtn})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
}

TEST_F(FormMainTest, FixedToolWindowWithClientAreaAndMemoAtDesignSize)
{
    loadWithThermostat();
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));

    window->show();
    // Closing it may end the program, tool window or not.
    EXPECT_TRUE(window->testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(window->client->size(), QSize(1025, 669));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->client->geometry().top(), window->menuBar()->geometry().bottom() + 1);
    // Showing ran the resize rule with no change: the memo keeps its size.
    EXPECT_EQ(window->ResultsMemo->size(), QSize(twips(7455), twips(6495)));
    EXPECT_EQ(window->MemoWidth0, toTwips(twips(7455)));
    EXPECT_EQ(window->MemoHeight0, toTwips(twips(6495)));
}

TEST_F(FormMainTest, ControlsSitWhereTheDesignPutsThem)
{
    create();
    struct Place
    {
        const char *name;
        int left, top, width, height;
    };
    const Place places[] = {
        {"Label5", 360, 600, 7935, 375},          {"Image2", 10920, 480, 3750, 810},
        {"Frame1", 120, 1200, 9975, 4455},        {"Frame2", 120, 5760, 9975, 4215},
        {"Frame12", 10200, 1200, 5055, 13935},    {"Frame11", 10320, 2160, 4815, 1935},
        {"Frame3", 10320, 4080, 4815, 1455},      {"ReadRptsBtn", 18360, 600, 2295, 375},
        {"SaveBtn", 16320, 1080, 1455, 495},      {"ClearBtn", 17760, 1080, 1695, 495},
        {"PrintBtn", 19440, 1080, 1815, 495},     {"HelpBtn", 21120, 1080, 1815, 495},
        {"ResultsMemo", 16320, 1560, 7455, 6495}, {"Text7", 16320, 8160, 7455, 495},
        {"Text8", 16320, 8760, 7455, 495},        {"Frame9", 16320, 9480, 7575, 3015},
        {"Frame10", 16320, 12600, 7575, 2895},    {"Frame8", 120, 10080, 9975, 5055},
    };
    for (const Place &p : places) {
        auto *w = window->client->findChild<QWidget *>(QLatin1String(p.name), Qt::FindDirectChildrenOnly);
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->geometry(), twipsRect(p.left, p.top, p.width, p.height)) << p.name;
    }
    EXPECT_EQ(window->Tb1->geometry(), QRect(0, 0, 1025, twips(420)));
    EXPECT_EQ(window->Line2->geometry().top(), twips(480));
    EXPECT_EQ(window->Line2->width(), 1025);
    // Label3 lies at 240, 9000 twips inside Frame12, below the window's edge.
    EXPECT_EQ(window->Label3->mapTo(window->Frame12, QPoint(0, 0)), QPoint(twips(240), twips(9000)));
    EXPECT_GT(window->Label3->mapTo(window->client, QPoint(0, 0)).y(), window->client->height());
    EXPECT_EQ(window->Rt1->parentWidget(), window->Frame9);
    EXPECT_EQ(window->Rt2->parentWidget(), window->Frame10);
    // Frame11 and Frame3 are drawn in front of Frame12.
    const QObjectList &order = window->client->children();
    EXPECT_GT(order.indexOf(window->Frame11), order.indexOf(window->Frame12));
    EXPECT_GT(order.indexOf(window->Frame3), order.indexOf(window->Frame12));
}

TEST_F(FormMainTest, CaptionsContainersAndFonts)
{
    create();
    struct Caption
    {
        const char *name;
        const char *container;
        const char *text;
    };
    const Caption captions[] = {
        {"Frame1", "client", "Température en ° Celcius "},
        {"Frame2", "client", "Configuration"},
        {"Frame12", "client", "Status"},
        {"Frame11", "client", "Périphérique"},
        {"Frame3", "client", "Sonde"},
        {"Frame16", "Frame1", "Lecture"},
        {"Frame15", "Frame1", "Température sonde"},
        {"Frame14", "Frame1", "Mode du relais"},
        {"Frame17", "Frame1", "Commutations du relais"},
        {"Frame5", "Frame1", "Etat du relais"},
        {"Frame6", "Frame2", "TL"},
        {"Frame7", "Frame2", "TH"},
        {"Frame4", "Frame2", "Configuration du relais"},
        {"Frame13", "Frame12", "Limites de fonctionnement"},
        {"Frame18", "Frame12", "Mise à jour logiciel"},
        {"Frame9", "client", "FLASH"},
        {"Frame10", "client", "EEPROM"},
        {"Frame8", "client", "Mise à jour logiciel"},
        {"Label5", "client", "Logiciel de mesure et de configuration du thermostat QN52-W"},
        {"Label1", "Frame1",
         "Mesure de la température et lecture des valeurs de configuration du thermostat."},
        {"ContinuousCB", "Frame16", "Cocher ici pour effectuer la réception des valeurs automatiquement"},
        {"Label11", "Frame5", "C-NO"},
        {"Label12", "Frame5", "C-NC"},
        {"Label2", "Frame5", "T1 -->"},
        {"Label9", "Frame2", "Configuration des valeurs de fonctionnement du thermostat"},
        {"Label10", "Frame2",
         "Veuillez selectionner les valeurs de fonctionnement du thermostat et l'état de basculement."},
        {"Label7", "Frame6", "Signe de TL"},
        {"Label8", "Frame7", "Signe de TH"},
        {"Label24", "Frame6", "."},
        {"Label23", "Frame6", "° C"},
        {"Label18", "Frame6", "T1"},
        {"Label19", "Frame7", "T2"},
        {"Label20", "Frame2", ","},
        {"Option_mode_a", "Frame4", "Mode A"},
        {"Option_mode_b", "Frame4", "Mode B"},
        {"Label6", "Frame4", "(par défault)"},
        {"SendRptsBtn", "Frame2", "Configuration"},
        {"Label25", "Frame12", "Vous pouvez contrôler l'état et la configuration de votre thermostat."},
        {"Label4", "Frame13", " Sa plage de fonctionnement va de -55 à +125 ° C"},
        {"Label3", "Frame18",
         "La mise à jour du logiciel n'est pas encore disponible pour cette version du logiciel"},
        {"ReadRptsBtn", "client", "Lecture"},
        {"SaveBtn", "client", "SAVE  Results to File"},
        {"ClearBtn", "client", "CLEAR   Results"},
        {"PrintBtn", "client", "PRINT   Results"},
        {"HelpBtn", "client", "Help"},
        {"Text7", "client", "Debug send"},
        {"Text8", "client", "Debug send"},
        {"Label17", "Frame8", "Mise à jour logiciel de votre thermostat."},
        {"Label21", "Frame8", "1 <> Selectionez le fichier *.hex à l'aide du bouton"},
        {"Label22", "Frame8", "2 <> La mise  à jour se fait automatiquement à l'aide du bouton"},
    };
    for (const Caption &c : captions) {
        auto *w = window->findChild<QWidget *>(QLatin1String(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->parentWidget()->objectName(), QLatin1String(c.container)) << c.name;
        QString text;
        if (auto *g = qobject_cast<QGroupBox *>(w))
            text = g->title();
        else if (auto *l = qobject_cast<QLabel *>(w))
            text = l->text();
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            text = b->text();
        else if (auto *e = qobject_cast<QLineEdit *>(w))
            text = e->text();
        EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(QFontInfo(w->font()).family(), QFontInfo(QFont(QStringLiteral("Arial"))).family())
            << c.name;
    }

    // The entry controls the entry and send controllers look up by name.
    for (const char *name : {"Combo_t1_signe",
                             "Combo_t2_signe",
                             "Text_t1_signe",
                             "Text_t2_signe",
                             "Text_t1_value",
                             "Text_t2_value",
                             "Text_t1_dixieme",
                             "Text_t2_dixieme",
                             "Image1",
                             "Text_nombre_t",
                             "Text_Mode_relais",
                             "Txt_t1_uniter_recev",
                             "Txt_t2_uniter_recev",
                             "Text_status",
                             "Text_connexion1",
                             "Image4",
                             "Image5",
                             "Image3",
                             "Image6",
                             "Image7",
                             "Rt1",
                             "Rt2"})
        EXPECT_NE(window->findChild<QWidget *>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(window->Combo_t1_signe->count(), 2);
    EXPECT_EQ(window->Combo_t1_signe->itemText(0), QStringLiteral("+"));
    EXPECT_EQ(window->Combo_t1_signe->itemText(1), QStringLiteral("-"));
    EXPECT_EQ(window->Combo_t1_signe->currentIndex(), -1);
    EXPECT_TRUE(window->Option_mode_a->isChecked());
    EXPECT_EQ(window->Image2->toolTip(), QStringLiteral("Velmora"));

    EXPECT_EQ(window->Text_nombre_t->font().pointSizeF(), 72.0);
    EXPECT_EQ(window->Txt_t1_uniter_recev->font().pointSizeF(), 14.25);
    EXPECT_EQ(window->Txt_t2_uniter_recev->font().pointSizeF(), 14.25);
    EXPECT_EQ(window->Text_status->font().pointSizeF(), 9.75);
    EXPECT_TRUE(window->Text_status->font().bold());
    EXPECT_EQ(window->ResultsMemo->font().family(), QStringLiteral("Courier New"));
    EXPECT_TRUE(QFontInfo(window->ResultsMemo->font()).fixedPitch());
    EXPECT_TRUE(window->Text_connexion1->isReadOnly());
    EXPECT_FALSE(window->ResultsMemo->isReadOnly());
    EXPECT_EQ(window->ResultsMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(window->ResultsMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(window->ResultsMemo->toPlainText(), QStringLiteral("Debug receive\n"));
    // Both relay pictures have content.
    EXPECT_FALSE(window->Image4->pixmap().isNull());
    EXPECT_FALSE(window->Image5->pixmap().isNull());
    EXPECT_EQ(window->Image4->geometry(), window->Image5->geometry());
}

TEST_F(FormMainTest, ControlsOutsideTheVisibleAreaWork)
{
    loadWithThermostat();
    agent->setDeviceValues(thermostat, {250, 200, 300, 1, 65, 0, 0});
    window->ContinuousCB->setChecked(false);
    window->ReadRptsBtn->click();
    EXPECT_EQ(window->Text_nombre_t->text(), QStringLiteral("+ 25 °C"));
    window->ClearBtn->click();
    EXPECT_EQ(lines().size(), 1);
}

TEST_F(FormMainTest, TabStaysOnControlsThatCanBeSeen)
{
    loadWithThermostat();
    window->ContinuousCB->setChecked(false);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window.get(); }));
    window->Text_t1_value->setFocus();
    ASSERT_TRUE(window->Text_t1_value->hasFocus());
    const QRect visible = window->client->rect();
    QStringList reached;
    for (int i = 0; i < 40; ++i) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        reached << focus->objectName();
        if (window->client->isAncestorOf(focus)) {
            EXPECT_TRUE(visible.intersects(QRect(focus->mapTo(window->client, QPoint(0, 0)), focus->size())))
                << "Tab " << i + 1 << " reached " << focus->objectName().toStdString();
        }
    }
    EXPECT_TRUE(reached.contains(QStringLiteral("Text_t2_value"))) << reached.join(' ').toStdString();
    // Out of the Tab order, but still usable when given the focus.
    window->Rt2->setFocus();
    EXPECT_TRUE(window->Rt2->hasFocus());
}
