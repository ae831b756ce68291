#include "FormMainFixture.h"
#include "Form_about.h"
#include "Form_web.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <functional>

namespace {

QToolButton *toolbarButton(Form_main &w, const QString &key)
{
    return w.Tb1->findChild<QToolButton *>(QStringLiteral("Tb1_") + key);
}

} // namespace

TEST_F(FormMainTest, ToolbarButtonsCarryKeysTooltipsAndPictures)
{
    create();
    struct Button
    {
        const char *key;
        const char *tooltip;
        QAction *action;
    };
    const Button buttons[] = {
        {"A", "Ouverture fichier <.hex>", window->ItemOpenHex},
        {"B", "Mise à jour logiciel", window->test},
        {"C", "Site Internet de Velmora", window->ItemInternet},
        {"D", "A propos", window->ItemAbout},
        {"E", "Quitter", window->ItemExit},
    };
    const QList<QAction *> onToolbar = window->Tb1->actions();
    ASSERT_EQ(onToolbar.size(), 5);
    for (int i = 0; i < 5; ++i) {
        const Button &b = buttons[i];
        SCOPED_TRACE(b.key);
        EXPECT_EQ(onToolbar[i], b.action);
        EXPECT_EQ(b.action->data().toString(), QLatin1String(b.key));
        EXPECT_EQ(b.action->toolTip(), QString::fromUtf8(b.tooltip));
        EXPECT_TRUE(b.action->isEnabled());
        QToolButton *button = toolbarButton(*window, QLatin1String(b.key));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->defaultAction(), b.action);
        EXPECT_FALSE(b.action->icon().isNull());
    }
    EXPECT_EQ(window->imgl.size(), 5);
}

TEST_F(FormMainTest, MenuHasFiveItemsWithTheirCaptions)
{
    create();
    const QList<QAction *> top = window->menuBar()->actions();
    ASSERT_EQ(top.size(), 1);
    EXPECT_EQ(top[0]->text(), QStringLiteral("Menu"));
    const QList<QAction *> items = window->Menu->actions();
    ASSERT_EQ(items.size(), 5);
    const char *names[] = {"ItemOpenHex", "test", "ItemInternet", "ItemAbout", "ItemExit"};
    const char *captions[] = {"Sélection fichier \".hex\"", "Mise à jour logiciel", "Internet", "A propos",
                              "Quitter"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(items[i]->objectName(), QLatin1String(names[i]));
        EXPECT_EQ(items[i]->text(), QString::fromUtf8(captions[i]));
        // Captions only; the shared action keeps its picture for the toolbar.
        EXPECT_FALSE(items[i]->isIconVisibleInMenu());
        EXPECT_FALSE(items[i]->icon().isNull());
    }
}

TEST_F(FormMainTest, CommandsFollowTheKeyNotThePosition)
{
    loadWithThermostat();
    int web = 0;
    int about = 0;
    window->setShowWebWindow([&] { ++web; });
    window->setShowAboutWindow([&] { ++about; });

    // Reordering the toolbar changes nothing: the key decides.
    window->Tb1->removeAction(window->ItemInternet);
    window->Tb1->insertAction(window->ItemOpenHex, window->ItemInternet);

    auto *moved = qobject_cast<QToolButton *>(window->Tb1->widgetForAction(window->ItemInternet));
    ASSERT_NE(moved, nullptr);
    moved->click();
    EXPECT_EQ(web, 1);
    EXPECT_EQ(about, 0);
    toolbarButton(*window, QStringLiteral("D"))->click();
    EXPECT_EQ(about, 1);
    window->ItemInternet->trigger(); // the menu item
    EXPECT_EQ(web, 2);
    window->runCommand(QStringLiteral("Z"));
    EXPECT_EQ(web + about, 3);
}

TEST_F(FormMainTest, OpenHexAndUpdateDoNothing)
{
    loadWithThermostat();
    window->ContinuousCB->setChecked(false);
    const QString before = window->resultsText();
    int shown = 0;
    window->setShowWebWindow([&] { ++shown; });
    window->setShowAboutWindow([&] { ++shown; });
    toolbarButton(*window, QStringLiteral("A"))->click();
    toolbarButton(*window, QStringLiteral("B"))->click();
    window->ItemOpenHex->trigger();
    window->test->trigger();
    EXPECT_EQ(window->resultsText(), before);
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(doubles.messageBoxes->asked().empty());
    EXPECT_EQ(agent->calls("CloseAllIntfs"), 0);
}

TEST_F(FormMainTest, QuitFromToolbarAndMenuAlike)
{
    for (bool fromMenu : {false, true}) {
        SCOPED_TRACE(fromMenu ? "menu" : "toolbar");
        agent = std::make_shared<ScriptedHidAgent>();
        loadWithThermostat();
        window->show();
        if (fromMenu)
            window->ItemExit->trigger();
        else
            toolbarButton(*window, QStringLiteral("E"))->click();
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(agent->calls("CloseAllIntfs"), 1);
        EXPECT_FALSE(window->Timer1->isActive());
        window.reset();
    }
}

TEST_F(FormMainTest, WebAndAboutWindowsOpenOnceAndOutliveQuit)
{
    loadWithThermostat();
    window->show();
    toolbarButton(*window, QStringLiteral("C"))->click();
    Form_web *web = Form_web::openInstance();
    ASSERT_NE(web, nullptr);
    toolbarButton(*window, QStringLiteral("C"))->click();
    EXPECT_EQ(Form_web::openInstance(), web);
    EXPECT_EQ(QApplication::topLevelWidgets().count(web), 1);

    window->ItemAbout->trigger();
    Form_about *about = Form_about::openInstance();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());

    // Quitting closes the main window and the component, not the others.
    window->ItemExit->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(agent->calls("CloseAllIntfs"), 1);
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(web->isVisible());
    web->close();
    about->close();
    waitUntil([] { return !Form_about::openInstance() && !Form_web::openInstance(); });
}

TEST_F(FormMainTest, AboutAndWebWindowsStayOutOfTheTaskBarAndKeepTheProgramAlive)
{
    struct Row
    {
        const char *name;
        QAction *Form_main::*command;
        std::function<QWidget *()> openInstance;
    };
    const Row rows[] = {
        {"about", &Form_main::ItemAbout, [] { return static_cast<QWidget *>(Form_about::openInstance()); }},
        {"web", &Form_main::ItemInternet, [] { return static_cast<QWidget *>(Form_web::openInstance()); }},
    };
    const bool quitOnLast = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(true);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        agent = std::make_shared<ScriptedHidAgent>();
        loadWithThermostat();
        QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
        int lastWindowClosed = 0;
        const auto counting =
            QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { ++lastWindowClosed; });
        QPointer<QWidget> other;
        Qt::WindowType otherType = Qt::Widget;
        bool aliveAfterQuit = false;
        int closedSignalsBeforeOtherCloses = -1;

        // Every scripted step dies with this round, so none fires in the next.
        QObject script;
        QTimer::singleShot(0, &script, [&] {
            window->show();
            (window.get()->*row.command)->trigger();
            other = row.openInstance();
            if (other)
                otherType = other->windowType();
        });
        QTimer::singleShot(50, &script, [&] { window->ItemExit->trigger(); });
        QTimer::singleShot(150, &script, [&] {
            aliveAfterQuit = !window->isVisible() && other && other->isVisible();
            closedSignalsBeforeOtherCloses = lastWindowClosed;
            if (other)
                other->close();
        });
        QTimer guard(&script);
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(5000);

        const int exitCode = QApplication::exec();
        QObject::disconnect(counting);
        EXPECT_EQ(otherType, Qt::Tool); // no task-bar entry
        EXPECT_TRUE(aliveAfterQuit);
        EXPECT_EQ(closedSignalsBeforeOtherCloses, 0);
        EXPECT_EQ(exitCode, 0) << "99: the program did not end when the last window closed";
        EXPECT_EQ(lastWindowClosed, 1);
        waitUntil([] { return !Form_about::openInstance() && !Form_web::openInstance(); });
        window.reset();
    }
    QApplication::setQuitOnLastWindowClosed(quitOnLast);
}
