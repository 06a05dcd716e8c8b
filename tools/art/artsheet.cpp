// Contact sheet of the art, for a person to look at: each button as Qt draws
// it with the application's templates in its four states, every picture on a
// checkered background, every animation frame, and the style sheet applied to
// the widgets it names.
// usage: artsheet <res/res/mac folder> <demos.tsv> <out.png>
#include "customcontrols/buttonstyle.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <QTextStream>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace {

QString g_root;
bool g_parseWarning = false;

void handler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (msg.contains(QLatin1String("Could not parse")))
        g_parseWarning = true;
    std::fprintf(stderr, "%s\n", qPrintable(msg));
    (void)type;
}

QString local(QString sheet)
{
    return sheet.replace(QStringLiteral(":/res/res/mac/"), g_root + QLatin1Char('/'));
}

const char* kStartTemplate =
    "QPushButton#%1{border:0;min-width: %5;max-width: %5;max-height: %6;min-height: %6;color:%3;"
    "border-image: url(:/res/res/mac/button/%2.png);font:bold 14px;text-align:bottom;padding-bottom:%7px;}"
    "QPushButton#%1:hover{border-image: url(:/res/res/mac/button/%2_on.png);font:bold 11px;color:%4;}"
    "QPushButton#%1:pressed{border-image: url(:/res/res/mac/button/%2_down.png);font:bold 11px;color:%4;}"
    "QPushButton#%1:disabled{border-image: url(:/res/res/mac/button/%2_disable.png);font:bold 14px;color:%3;}";

struct Tile
{
    QImage image;
    QString caption;
};

QImage grabButton(const QStringList& f, int state)
{
    QWidget host;
    host.setAutoFillBackground(true);
    host.setPalette(QPalette(QColor(0xef, 0xef, 0xef)));
    auto* layout = new QHBoxLayout(&host);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* button = new QPushButton(f[3], &host);
    button->setObjectName(f[2]);
    QString sheet;
    if (f[0] == QLatin1String("start"))
        sheet = QString::fromLatin1(kStartTemplate).arg(f[2], f[1], f[6], f[7], f[4], f[5], f[8]);
    else
        sheet = ImageButtonStyle(f[2], f[1], f[4].toInt(), f[5].toInt(), f[6], f[7].toInt());
    // Offscreen there is no pointer to hover with: the hover rule, made
    // unconditional, stands in for it (it follows the plain rule, so it wins).
    if (state == 1)
        sheet.replace(QStringLiteral(":hover"), QString());
    button->setStyleSheet(local(sheet));
    layout->addWidget(button);
    host.show();
    if (state == 2)
        button->setDown(true);
    else if (state == 3)
        button->setEnabled(false);
    host.adjustSize();
    return host.grab().toImage();
}

QImage checkered(const QImage& image)
{
    QImage out(image.size() + QSize(8, 8), QImage::Format_ARGB32);
    QPainter p(&out);
    for (int y = 0; y < out.height(); y += 6)
        for (int x = 0; x < out.width(); x += 6)
            p.fillRect(x, y, 6, 6, ((x + y) / 6) % 2 ? QColor(0xcc, 0xcc, 0xcc) : QColor(0xff, 0xff, 0xff));
    p.drawImage(4, 4, image);
    return out;
}

QImage styleDemo()
{
    QWidget page;
    page.resize(900, 260);
    auto* column = new QVBoxLayout(&page);
    auto* row = new QHBoxLayout;
    column->addLayout(row);
    const QList<QPair<QString, QString>> labels = {
        {"MainUIScoreName", "Music List Score: "}, {"MainUIScore", "87"}, {"MainUIScoreOEM", "100"},
        {"MainUIFixing", "Fixing..."}, {"MainUIQuitOrSave", "quit or save"}, {"MainUIScroll", "scroll 12px"},
        {"StartUIIcon", ""}, {"StartUIWelcome", "Welcome!"}, {"StartUIFunc", "the only tool you need"}};
    for (const auto& l : labels) {
        auto* label = new QLabel(l.second);
        label->setObjectName(l.first);
        row->addWidget(label);
    }
    auto* lists = new QHBoxLayout;
    column->addLayout(lists);
    auto* splitter = new QSplitter;
    splitter->setObjectName(QStringLiteral("ReportSplitter"));
    for (const QString& name : {QStringLiteral("ReportListTypeOEM"), QStringLiteral("ReportListType")}) {
        auto* view = new QTreeView;
        view->setObjectName(name);
        auto* model = new QStandardItemModel(view);
        for (const char* caption : {"Unrecognized Songs", "Songs Without Album Artwork", "Songs Without Artist"})
            model->appendRow(new QStandardItem(QString::fromLatin1(caption)));
        view->setModel(model);
        view->header()->hide();
        view->setCurrentIndex(model->index(1, 0));
        splitter->addWidget(view);
    }
    auto* tree = new QTreeWidget;
    tree->setAlternatingRowColors(true);
    tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Artist")});
    for (int i = 0; i < 4; ++i)
        new QTreeWidgetItem(tree, {QStringLiteral("Song %1").arg(i), QStringLiteral("Artist")});
    tree->setCurrentItem(tree->topLevelItem(2));
    splitter->addWidget(tree);
    lists->addWidget(splitter);
    auto* toolbar = new QToolBar;
    toolbar->setObjectName(QStringLiteral("DuptOptToolBarOEM"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (const char* name : {"sit", "add", "del"}) {
        QIcon icon(g_root + QStringLiteral("/button/%1.png").arg(QLatin1String(name)));
        toolbar->addAction(icon, QString::fromLatin1(name));
    }
    column->addWidget(toolbar);
    auto* editor = new QWidget;
    editor->setObjectName(QStringLiteral("ModifyMusicinfo"));
    editor->setAttribute(Qt::WA_StyledBackground);
    editor->setMinimumHeight(30);
    column->addWidget(editor);
    page.show();
    return page.grab().toImage();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(handler);
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: artsheet <res/res/mac> <demos.tsv> <out.png>\n");
        return 2;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    g_root = QString::fromLocal8Bit(argv[1]);
    QFile qss(g_root + QStringLiteral("/vessolin_mac.qss"));
    qss.open(QIODevice::ReadOnly);
    app.setStyleSheet(local(QString::fromUtf8(qss.readAll())));

    QList<QList<Tile>> sections;
    QList<Tile> buttons;
    QFile demos(QString::fromLocal8Bit(argv[2]));
    demos.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream in(&demos);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char('\t'));
        if (f.size() < 8)
            continue;
        for (int state = 0; state < 4; ++state)
            buttons.append({grabButton(f, state),
                            state ? QString() : f[1] + QStringLiteral(" / ") + f[2]});
    }
    sections.append(buttons);

    QList<Tile> pictures, movies;
    QStringList files;
    QDirIterator it(g_root, {QStringLiteral("*.png"), QStringLiteral("*.gif")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    for (const QString& file : files) {
        const QString name = file.mid(g_root.size() + 1);
        if (file.endsWith(QLatin1String(".gif"))) {
            QImageReader reader(file);
            int i = 0;
            while (reader.canRead()) {
                const QImage frame = reader.read();
                movies.append({checkered(frame), i++ ? QString() : name});
            }
        } else if (!name.startsWith(QLatin1String("button/"))
                   || QImage(file).width() <= 24) {
            QImage image(file);
            QImage shown = checkered(image);
            if (image.width() <= 32 && image.height() <= 32) {
                // Small pictures also at three times their size, to judge them.
                QImage both(shown.width() * 4 + 4, shown.height() * 3, QImage::Format_ARGB32);
                both.fill(Qt::transparent);
                QPainter bp(&both);
                bp.drawImage(0, 0, shown);
                bp.drawImage(shown.width() + 4, 0, checkered(image.scaled(image.size() * 3)));
                bp.end();
                shown = both;
            }
            pictures.append({shown, QStringLiteral("%1 %2x%3").arg(name).arg(image.width())
                                                   .arg(image.height())});
        }
    }
    sections.append(pictures);
    sections.append(movies);
    sections.append({{styleDemo(), QStringLiteral("style sheet over Fusion")}});

    const int width = 1500;
    QImage sheet(width, 6000, QImage::Format_RGB32);
    sheet.fill(QColor(0xf4, 0xf4, 0xf4));
    QPainter p(&sheet);
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    int y = 10;
    for (const QList<Tile>& section : sections) {
        int x = 10, rowHeight = 0;
        for (const Tile& tile : section) {
            const int w = std::max(tile.image.width(), p.fontMetrics().horizontalAdvance(tile.caption));
            if (x + w > width - 10) {
                x = 10;
                y += rowHeight + 8;
                rowHeight = 0;
            }
            p.drawImage(x, y + 13, tile.image);
            if (!tile.caption.isEmpty())
                p.drawText(x, y + 10, tile.caption);
            rowHeight = std::max(rowHeight, tile.image.height() + 13);
            x += w + 8;
        }
        y += rowHeight + 24;
        p.fillRect(0, y - 12, width, 2, QColor(0x99, 0x99, 0x99));
    }
    p.end();
    sheet = sheet.copy(0, 0, width, y);
    if (!sheet.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    std::printf("sheet %dx%d%s\n", sheet.width(), sheet.height(),
                g_parseWarning ? ", style sheet parse warning" : "");
    return g_parseWarning ? 1 : 0;
}
