// The controls of Form_main and where they sit. Positions given in twips
// come from the window's design; the inner layout of the reading and entry
// frames is drawn in pixels.
#include "Form_main.h"
#include "HexDumpView.h"
#include "MemoryEditors.h"
#include "ReadoutEdit.h"
#include "Twips.h"
#include "WindowsResources.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

constexpr int ClientWidthTwips = 15375;
constexpr int ClientHeightTwips = 10035;

template <typename W> W *make(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *l = make<QLabel>(parent, name);
    l->setText(text);
    l->setGeometry(geometry);
    return l;
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &title, QRect geometry)
{
    auto *f = make<QGroupBox>(parent, name);
    f->setTitle(title);
    f->setGeometry(geometry);
    return f;
}

QLineEdit *lineEdit(QWidget *parent, const char *name, QRect geometry, bool readOnly)
{
    auto *e = make<QLineEdit>(parent, name);
    e->setGeometry(geometry);
    e->setReadOnly(readOnly);
    return e;
}

// A read-out: read-only, shows what the program sets.
ReadoutEdit *readout(QWidget *parent, const char *name, QRect geometry)
{
    auto *e = make<ReadoutEdit>(parent, name);
    e->setGeometry(geometry);
    e->setReadOnly(true);
    return e;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *b = make<QPushButton>(parent, name);
    b->setText(text);
    b->setGeometry(geometry);
    return b;
}

QPlainTextEdit *multiLine(QWidget *parent, const char *name, QRect geometry, bool bothScrollBars)
{
    auto *e = make<QPlainTextEdit>(parent, name);
    e->setGeometry(geometry);
    if (bothScrollBars) {
        e->setLineWrapMode(QPlainTextEdit::NoWrap);
        e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    return e;
}

QFont arial(double points, bool bold = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Pictures that come from the windows library's resources; a missing one
// leaves its control empty.
QPixmap resourcePixmap(const QString &path)
{
    return QFile::exists(path) ? QPixmap(path) : QPixmap();
}

} // namespace

void Form_main::buildControls()
{
    initWindowsResources();
    client = make<QWidget>(this, "client");
    client->setFixedSize(twips(ClientWidthTwips), twips(ClientHeightTwips));
    client->setFont(arial(8.25));
    setCentralWidget(client);

    buildToolbarAndMenu();

    Label5 =
        label(client, "Label5", QStringLiteral("Logiciel de mesure et de configuration du thermostat QN52-W"),
              twipsRect(360, 600, 7935, 375));
    Label5->setFont(arial(12, true));

    Image2 = make<QLabel>(client, "Image2");
    Image2->setGeometry(twipsRect(10920, 480, 3750, 810));
    Image2->setToolTip(QStringLiteral("Velmora"));
    Image2->setScaledContents(true);
    Image2->setPixmap(resourcePixmap(WindowPictures::logo()));

    // Two lines give the toolbar's lower edge a sunken look.
    Line1 = make<QFrame>(client, "Line1");
    Line1->setFrameShape(QFrame::NoFrame);
    Line1->setGeometry(0, twips(480) - 1, client->width(), 1);
    Line1->setAutoFillBackground(true);
    Line1->setStyleSheet(QStringLiteral("background-color: #808080;"));
    Line2 = make<QFrame>(client, "Line2");
    Line2->setFrameShape(QFrame::NoFrame);
    Line2->setGeometry(0, twips(480), client->width(), 1);
    Line2->setStyleSheet(QStringLiteral("background-color: #E0E0E0;"));

    buildFrame1();
    buildFrame2();
    buildStatusFrames();
    buildOffscreenControls();
    keepTabInsideVisibleArea();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
}

void Form_main::buildToolbarAndMenu()
{
    // Tb1 belongs to the client area: the design places every control
    // relative to the client area's top edge, toolbar included.
    Tb1 = make<QToolBar>(client, "Tb1");
    Tb1->setGeometry(0, 0, client->width(), twips(420));
    Tb1->setMovable(false);
    Tb1->setFloatable(false);
    Tb1->setIconSize(QSize(20, 20));
    Tb1->setToolButtonStyle(Qt::ToolButtonIconOnly);

    for (const char *key : {"A", "B", "C", "D", "E"})
        imgl << QIcon(resourcePixmap(WindowPictures::toolbar(QString::fromLatin1(key))));

    struct Command
    {
        QAction **member;
        const char *name;
        QString caption;
        QString key;
        QString tooltip;
    };
    const Command commands[] = {
        {&ItemOpenHex, "ItemOpenHex", QStringLiteral("Sélection fichier \".hex\""), QStringLiteral("A"),
         QStringLiteral("Ouverture fichier <.hex>")},
        {&test, "test", QStringLiteral("Mise à jour logiciel"), QStringLiteral("B"),
         QStringLiteral("Mise à jour logiciel")},
        {&ItemInternet, "ItemInternet", QStringLiteral("Internet"), QStringLiteral("C"),
         QStringLiteral("Site Internet de Velmora")},
        {&ItemAbout, "ItemAbout", QStringLiteral("A propos"), QStringLiteral("D"),
         QStringLiteral("A propos")},
        {&ItemExit, "ItemExit", QStringLiteral("Quitter"), QStringLiteral("E"), QStringLiteral("Quitter")},
    };

    Menu = menuBar()->addMenu(QStringLiteral("Menu"));
    Menu->setObjectName(QStringLiteral("Menu"));
    int picture = 0;
    for (const Command &c : commands) {
        auto *action = new QAction(c.caption, this);
        action->setObjectName(QString::fromLatin1(c.name));
        action->setData(c.key);
        action->setToolTip(c.tooltip);
        action->setIcon(imgl.value(picture++));
        // The picture is for the toolbar; the menu shows captions only.
        action->setIconVisibleInMenu(false);
        *c.member = action;
        Menu->addAction(action);
        Tb1->addAction(action);
        // The toolbar's button gets the key as its name, so it can be found
        // the way the toolbar knows it.
        if (QWidget *b = Tb1->widgetForAction(action))
            b->setObjectName(QStringLiteral("Tb1_") + c.key);
        // Toolbar and menu share the action; the command follows its key.
        connect(action, &QAction::triggered, this, [this, action] { runCommand(action->data().toString()); });
    }
}

void Form_main::buildFrame1()
{
    Frame1 = frame(client, "Frame1", QStringLiteral("Température en ° Celcius "),
                   twipsRect(120, 1200, 9975, 4455));
    Label1 = label(
        Frame1, "Label1",
        QStringLiteral("Mesure de la température et lecture des valeurs de configuration du thermostat."),
        QRect(12, 20, 640, 16));

    Frame16 = frame(Frame1, "Frame16", QStringLiteral("Lecture"), QRect(12, 38, 641, 42));
    ContinuousCB = make<QCheckBox>(Frame16, "ContinuousCB");
    ContinuousCB->setText(
        QStringLiteral("Cocher ici pour effectuer la réception des valeurs automatiquement"));
    ContinuousCB->setGeometry(10, 18, 600, 18);

    Frame15 = frame(Frame1, "Frame15", QStringLiteral("Température sonde"), QRect(12, 84, 480, 126));
    Text_nombre_t = readout(Frame15, "Text_nombre_t", QRect(8, 18, 464, 100));
    Text_nombre_t->setFont(arial(72));
    Text_nombre_t->setAlignment(Qt::AlignCenter);

    Frame14 = frame(Frame1, "Frame14", QStringLiteral("Mode du relais"), QRect(12, 214, 200, 74));
    Text_Mode_relais = readout(Frame14, "Text_Mode_relais", QRect(8, 26, 184, 30));
    Text_Mode_relais->setFont(arial(12));

    Frame17 = frame(Frame1, "Frame17", QStringLiteral("Commutations du relais"), QRect(218, 214, 274, 74));
    Txt_t1_uniter_recev = readout(Frame17, "Txt_t1_uniter_recev", QRect(8, 17, 258, 26));
    Txt_t1_uniter_recev->setFont(arial(14.25));
    Txt_t2_uniter_recev = readout(Frame17, "Txt_t2_uniter_recev", QRect(8, 44, 258, 26));
    Txt_t2_uniter_recev->setFont(arial(14.25));

    Frame5 = frame(Frame1, "Frame5", QStringLiteral("Etat du relais"), QRect(500, 84, 153, 204));
    Label2 = label(Frame5, "Label2", QStringLiteral("T1 -->"), QRect(10, 20, 60, 16));
    const QRect relayPicture(12, 40, 128, 112);
    Image4 = make<QLabel>(Frame5, "Image4");
    Image4->setGeometry(relayPicture);
    Image4->setPixmap(QPixmap(QStringLiteral(":/console/relay_c_no.png")));
    Image5 = make<QLabel>(Frame5, "Image5");
    Image5->setGeometry(relayPicture);
    Image5->setPixmap(QPixmap(QStringLiteral(":/console/relay_c_nc.png")));
    Label11 = label(Frame5, "Label11", QStringLiteral("C-NO"), QRect(12, 160, 128, 20));
    Label12 = label(Frame5, "Label12", QStringLiteral("C-NC"), QRect(12, 160, 128, 20));
    for (QLabel *l : {Label11, Label12}) {
        l->setAlignment(Qt::AlignCenter);
        l->setFont(arial(12, true));
    }
}

void Form_main::buildFrame2()
{
    Frame2 = frame(client, "Frame2", QStringLiteral("Configuration"), twipsRect(120, 5760, 9975, 4215));
    Label9 =
        label(Frame2, "Label9", QStringLiteral("Configuration des valeurs de fonctionnement du thermostat"),
              QRect(12, 20, 640, 16));
    Label9->setFont(arial(8.25, true));
    Label10 =
        label(Frame2, "Label10",
              QStringLiteral("Veuillez selectionner les valeurs de fonctionnement du thermostat et l'état de "
                             "basculement."),
              QRect(12, 38, 640, 16));

    struct Threshold
    {
        QGroupBox **frame;
        const char *frameName;
        QString title;
        QLabel **signLabel;
        const char *signLabelName;
        QString signCaption;
        QComboBox **combo;
        const char *comboName;
        QLineEdit **signe;
        const char *signeName;
        QLineEdit **value;
        const char *valueName;
        QLabel **point;
        const char *pointName;
        QLineEdit **dixieme;
        const char *dixiemeName;
        QLabel **unit;
        const char *unitName;
        QLabel **tag;
        const char *tagName;
        QString tagText;
        int left;
    };
    const Threshold thresholds[] = {
        {&Frame6,
         "Frame6",
         QStringLiteral("TL"),
         &Label7,
         "Label7",
         QStringLiteral("Signe de TL"),
         &Combo_t1_signe,
         "Combo_t1_signe",
         &Text_t1_signe,
         "Text_t1_signe",
         &Text_t1_value,
         "Text_t1_value",
         &Label24,
         "Label24",
         &Text_t1_dixieme,
         "Text_t1_dixieme",
         &Label23,
         "Label23",
         &Label18,
         "Label18",
         QStringLiteral("T1"),
         12},
        {&Frame7,
         "Frame7",
         QStringLiteral("TH"),
         &Label8,
         "Label8",
         QStringLiteral("Signe de TH"),
         &Combo_t2_signe,
         "Combo_t2_signe",
         &Text_t2_signe,
         "Text_t2_signe",
         &Text_t2_value,
         "Text_t2_value",
         &Label13,
         "Label13",
         &Text_t2_dixieme,
         "Text_t2_dixieme",
         &Label14,
         "Label14",
         &Label19,
         "Label19",
         QStringLiteral("T2"),
         232},
    };
    for (const Threshold &t : thresholds) {
        QGroupBox *f = frame(Frame2, t.frameName, t.title, QRect(t.left, 60, 210, 118));
        *t.frame = f;
        *t.signLabel = label(f, t.signLabelName, t.signCaption, QRect(10, 20, 90, 16));
        QComboBox *combo = make<QComboBox>(f, t.comboName);
        combo->setGeometry(10, 38, 50, 24);
        combo->addItems({QStringLiteral("+"), QStringLiteral("-")});
        combo->setCurrentIndex(-1);
        *t.combo = combo;
        *t.signe = lineEdit(f, t.signeName, QRect(66, 38, 26, 24), true);
        (*t.signe)->setAlignment(Qt::AlignCenter);
        *t.value = lineEdit(f, t.valueName, QRect(10, 76, 50, 26), false);
        (*t.value)->setAlignment(Qt::AlignRight);
        *t.point = label(f, t.pointName, QStringLiteral("."), QRect(62, 76, 8, 26));
        *t.dixieme = lineEdit(f, t.dixiemeName, QRect(72, 76, 26, 26), false);
        *t.unit = label(f, t.unitName, QStringLiteral("° C"), QRect(102, 76, 30, 26));
        *t.tag = label(f, t.tagName, t.tagText, QRect(150, 36, 50, 30));
        (*t.tag)->setFont(arial(14.25, true));
        for (QWidget *w : {static_cast<QWidget *>(*t.value), static_cast<QWidget *>(*t.dixieme)})
            w->setFont(arial(12));
    }

    Frame4 = frame(Frame2, "Frame4", QStringLiteral("Configuration du relais"), QRect(452, 60, 201, 210));
    Option_mode_a = make<QRadioButton>(Frame4, "Option_mode_a");
    Option_mode_a->setText(QStringLiteral("Mode A"));
    Option_mode_a->setGeometry(10, 20, 80, 18);
    Option_mode_a->setChecked(true);
    Label6 = label(Frame4, "Label6", QStringLiteral("(par défault)"), QRect(92, 20, 100, 18));
    Option_mode_b = make<QRadioButton>(Frame4, "Option_mode_b");
    Option_mode_b->setText(QStringLiteral("Mode B"));
    Option_mode_b->setGeometry(10, 40, 80, 18);
    Image1 = make<QLabel>(Frame4, "Image1");
    Image1->setGeometry(10, 64, 181, 138);
    Image1->setScaledContents(true);

    SendRptsBtn = button(Frame2, "SendRptsBtn", QStringLiteral("Configuration"), QRect(12, 188, 430, 40));
    SendRptsBtn->setFont(arial(12, true));
    Label20 = label(Frame2, "Label20", QStringLiteral(","), QRect(444, 250, 6, 16));
}

void Form_main::buildStatusFrames()
{
    Frame12 = frame(client, "Frame12", QStringLiteral("Status"), twipsRect(10200, 1200, 5055, 13935));
    Label25 = label(Frame12, "Label25",
                    QStringLiteral("Vous pouvez contrôler l'état et la configuration de votre thermostat."),
                    QRect(10, 20, 317, 36));
    Label25->setWordWrap(true);

    Frame13 = frame(Frame12, "Frame13", QStringLiteral("Limites de fonctionnement"), QRect(8, 300, 321, 56));
    Label4 = label(Frame13, "Label4", QStringLiteral(" Sa plage de fonctionnement va de -55 à +125 ° C"),
                   QRect(8, 24, 305, 18));

    // Label3 sits at 240, 9000 twips inside Frame12, below the visible area;
    // Frame18's caption shows at the window's lower edge.
    Frame18 = frame(Frame12, "Frame18", QStringLiteral("Mise à jour logiciel"), QRect(8, 560, 321, 100));
    Label3 =
        label(Frame18, "Label3",
              QStringLiteral("La mise à jour du logiciel n'est pas encore disponible pour cette version du "
                             "logiciel"),
              QRect(twips(240) - 8, twips(9000) - 560, 300, 36));
    Label3->setWordWrap(true);

    // Frame11 and Frame3 lie over Frame12 and in front of it.
    Frame11 = frame(client, "Frame11", QStringLiteral("Périphérique"), twipsRect(10320, 2160, 4815, 1935));
    Text_connexion1 = multiLine(Frame11, "Text_connexion1", QRect(8, 18, 305, 103), true);
    Text_connexion1->setReadOnly(true);

    Frame3 = frame(client, "Frame3", QStringLiteral("Sonde"), twipsRect(10320, 4080, 4815, 1455));
    Text_status = multiLine(Frame3, "Text_status", QRect(8, 18, 305, 71), false);
    Text_status->setReadOnly(true);
    Text_status->setFont(arial(9.75, true));
}

void Form_main::keepTabInsideVisibleArea()
{
    // Tab must never lead a keyboard user into a control nobody can see.
    // Those controls still take the focus from a click or from the program.
    const QRect visible = client->rect();
    for (QWidget *w : client->findChildren<QWidget *>()) {
        const QRect area(w->mapTo(client, QPoint(0, 0)), w->size());
        if ((w->focusPolicy() & Qt::TabFocus) && !visible.intersects(area))
            w->setFocusPolicy(Qt::ClickFocus);
    }
}

void Form_main::buildOffscreenControls()
{
    ReadRptsBtn = button(client, "ReadRptsBtn", QStringLiteral("Lecture"), twipsRect(18360, 600, 2295, 375));
    SaveBtn =
        button(client, "SaveBtn", QStringLiteral("SAVE  Results to File"), twipsRect(16320, 1080, 1455, 495));
    ClearBtn =
        button(client, "ClearBtn", QStringLiteral("CLEAR   Results"), twipsRect(17760, 1080, 1695, 495));
    PrintBtn =
        button(client, "PrintBtn", QStringLiteral("PRINT   Results"), twipsRect(19440, 1080, 1815, 495));
    HelpBtn = button(client, "HelpBtn", QStringLiteral("Help"), twipsRect(21120, 1080, 1815, 495));

    ResultsMemo = multiLine(client, "ResultsMemo", twipsRect(16320, 1560, 7455, 6495), true);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    courier.setPointSizeF(8.25);
    ResultsMemo->setFont(courier);
    ResultsMemo->setPlainText(QStringLiteral("Debug receive\n"));

    Text7 = lineEdit(client, "Text7", twipsRect(16320, 8160, 7455, 495), false);
    Text7->setText(QStringLiteral("Debug send"));
    Text8 = lineEdit(client, "Text8", twipsRect(16320, 8760, 7455, 495), false);
    Text8->setText(QStringLiteral("Debug send"));

    Frame9 = frame(client, "Frame9", QStringLiteral("FLASH"), twipsRect(16320, 9480, 7575, 3015));
    Frame10 = frame(client, "Frame10", QStringLiteral("EEPROM"), twipsRect(16320, 12600, 7575, 2895));
    Rt1 = new HexDumpView(m_memoryEditors.get(), MemoryEditors::View::Flash, Frame9);
    Rt1->setObjectName(QStringLiteral("Rt1"));
    Rt1->setGeometry(8, 18, Frame9->width() - 16, Frame9->height() - 26);
    Rt2 = new HexDumpView(m_memoryEditors.get(), MemoryEditors::View::Eeprom, Frame10);
    Rt2->setObjectName(QStringLiteral("Rt2"));
    Rt2->setGeometry(8, 18, Frame10->width() - 16, Frame10->height() - 26);

    Frame8 =
        frame(client, "Frame8", QStringLiteral("Mise à jour logiciel"), twipsRect(120, 10080, 9975, 5055));
    Label17 = label(Frame8, "Label17", QStringLiteral("Mise à jour logiciel de votre thermostat."),
                    QRect(16, 24, 400, 16));
    Label21 = label(Frame8, "Label21", QStringLiteral("1 <> Selectionez le fichier *.hex à l'aide du bouton"),
                    QRect(16, 56, 330, 16));
    Image3 = make<QLabel>(Frame8, "Image3");
    Image3->setGeometry(350, 50, 28, 28);
    Image3->setPixmap(imgl.value(0).pixmap(20, 20));
    Label22 = label(Frame8, "Label22",
                    QStringLiteral("2 <> La mise  à jour se fait automatiquement à l'aide du bouton"),
                    QRect(16, 96, 330, 16));
    Image6 = make<QLabel>(Frame8, "Image6");
    Image6->setGeometry(350, 90, 28, 28);
    Image6->setPixmap(imgl.value(1).pixmap(20, 20));
    Image7 = make<QLabel>(Frame8, "Image7");
    Image7->setGeometry(440, 24, 200, 44);
    Image7->setScaledContents(true);
    Image7->setPixmap(resourcePixmap(WindowPictures::logo()));
}
