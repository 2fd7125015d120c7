#include "settings/frmfolderselect.h"

#include "platform/hostnames.h"
#include "platform/twips_ui.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QSignalBlocker>

namespace {

constexpr int kPathRole = Qt::UserRole;

// "C:\" + "Pics" -> "C:\Pics"; "C:\Pics" + "Sub" -> "C:\Pics\Sub".
QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

// A 16 x 16 folder: closed, or open with its front flap folded down, so that
// the open folder and its parents stand apart from the sub-folders.
QIcon folderIcon(bool open)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x8a, 0x6a, 0x10), 1));
    p.setBrush(QColor(0xe8, 0xc0, 0x4a));
    p.drawPolygon(QPolygonF({{1.5, 3.5}, {6.5, 3.5}, {7.5, 5.5}, {13.5, 5.5}, {13.5, 13.5}, {1.5, 13.5}}));
    if (open) {
        p.setBrush(QColor(0xf8, 0xe0, 0x8a));
        p.drawPolygon(QPolygonF({{3.5, 7.5}, {15.5, 7.5}, {12.5, 13.5}, {1.5, 13.5}}));
    }
    p.end();
    return QIcon(pm);
}

}  // namespace

FolderTree::FolderTree(QWidget *parent)
    : QTreeWidget(parent), m_openIcon(folderIcon(true)), m_closedIcon(folderIcon(false))
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(12);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void FolderTree::showFolder(const QString &open, const QStringList &subFolders)
{
    clear();

    // The root ("C:\"), then one entry per folder down to the open one.
    const QString root = open.left(3);
    QString path = root;
    auto *item = new QTreeWidgetItem(this, QStringList{root});
    item->setData(0, kPathRole, root);
    item->setIcon(0, m_openIcon);
    const QStringList parts = open.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        path = joinPath(path, part);
        item = new QTreeWidgetItem(item, QStringList{pf::shownName(part)});
        item->setData(0, kPathRole, path);
        item->setIcon(0, m_openIcon);
    }
    m_open = item;
    QFont bold = font();
    bold.setBold(true);
    m_open->setFont(0, bold);

    for (const QString &name : subFolders) {
        // Shown as a person reads it; the path keeps the name's own bytes.
        auto *sub = new QTreeWidgetItem(m_open, QStringList{pf::shownName(name)});
        sub->setData(0, kPathRole, joinPath(path, name));
        sub->setIcon(0, m_closedIcon);
    }
    expandAll();
    setCurrentItem(m_open);
    m_open->setSelected(true);
    scrollToItem(m_open);
}

QTreeWidgetItem *FolderTree::entry(const QString &name) const
{
    const QList<QTreeWidgetItem *> found = findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

QString FolderTree::pathOf(const QTreeWidgetItem *item) { return item ? item->data(0, kPathRole).toString() : QString(); }

void FolderTree::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Opening rebuilds the tree, so the base class (which would go on using
    // the clicked entry) does not see this event.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    if (QTreeWidgetItem *item = itemAt(event->position().toPoint()))
        Q_EMIT openRequested(pathOf(item));
}

void FolderTree::keyPressEvent(QKeyEvent *event)
{
    // Enter opens the highlighted folder, as a double-click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        event->accept();
        Q_EMIT openRequested(pathOf(currentItem()));
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

frmFolderSelect::frmFolderSelect(pf::Services &services, Module1 &shared, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_svc(services), m_m1(shared), m_dir(*services.fs)
{
    setObjectName(QStringLiteral("frmFolderSelect"));
    setWindowTitle(QStringLiteral("Select Folder"));
    setModal(true);
    setFixedSize(pf::tw(4095), pf::tw(4740));
    m_m1.pickedFolder.reset();

    Dir1 = new FolderTree(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    pf::placeTw(Dir1, 0, 0, 4092, 3744);
    connect(Dir1, &FolderTree::openRequested, this, &frmFolderSelect::Dir1_Open);

    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    pf::placeTw(Drive1, 0, 3720, 4092, 288);
    const QList<QChar> letters = services.fs->drives().letters();
    for (QChar letter : letters)
        Drive1->addItem(QString(letter.toLower()) + QLatin1Char(':'));

    auto button = [this](const char *name, const char *caption, double left) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        // Neither is the dialog's default: Enter presses the focused button.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->installEventFilter(this);
        pf::placeTw(b, left, 4200, 1215, 375);
        return b;
    };
    OKButton = button("OKButton", "OK", 480);
    CancelButton = button("CancelButton", "Cancel", 2400);
    connect(OKButton, &QPushButton::clicked, this, &frmFolderSelect::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmFolderSelect::CancelButton_Click);

    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, Drive1);
    setTabOrder(Drive1, Dir1);

    // Both lists start where the program stands: its current drive and folder.
    const QString current = m_dir.path();
    m_driveIndex = Drive1->findText(QString(current.at(0).toLower()) + QLatin1Char(':'));
    Drive1->setCurrentIndex(m_driveIndex);
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmFolderSelect::Drive1_Change);
    if (!openFolder(current))
        Dir1->showFolder(current, {});

    OKButton->setFocus();
}

pf::Status frmFolderSelect::openFolder(const QString &path)
{
    const QString before = m_dir.path();
    m_dir.setPath(path);
    pf::Result<QStringList> subFolders = m_dir.subFolders();
    if (!subFolders) {
        m_dir.setPath(before);
        return subFolders.error();
    }
    // A name with a '\' in it cannot be told apart from two folder levels.
    subFolders.value().removeIf([](const QString &name) { return name.contains(QLatin1Char('\\')); });
    Dir1->showFolder(m_dir.path(), *subFolders);
    return {};
}

void frmFolderSelect::Dir1_Open(const QString &path)
{
    if (pf::Status s = openFolder(path); !s)
        m_svc.prompt->messageBox(path + QStringLiteral("\r\rThis folder cannot be opened: %1.").arg(s.error().reason));
}

// A new drive opens at its root. A drive that is not ready is refused and
// the list goes back to the drive of the open folder.
void frmFolderSelect::Drive1_Change()
{
    const QString chosen = Drive1->currentText();  // "a:"
    if (chosen.isEmpty())
        return;
    // A card put in since the picker opened is found.
    m_svc.fs->drives().decideAgain(chosen.at(0));
    pf::Status s = m_svc.fs->selectDrive(chosen.at(0));
    if (!s) {
        m_svc.prompt->messageBox(
            QStringLiteral("Drive %1 is not ready.  Insert a disk or choose another drive.").arg(chosen));
    } else if (s = openFolder(chosen.toUpper() + QLatin1Char('\\')); !s) {
        m_svc.prompt->messageBox(chosen + QStringLiteral("\\\r\rThis drive cannot be opened: %1.").arg(s.error().reason));
    }
    if (!s) {
        const QSignalBlocker quiet(Drive1);
        Drive1->setCurrentIndex(m_driveIndex);
        return;
    }
    m_driveIndex = Drive1->currentIndex();
}

void frmFolderSelect::OKButton_Click()
{
    m_m1.pickedFolder = m_dir.path();
    accept();
}

void frmFolderSelect::CancelButton_Click() { reject(); }

void frmFolderSelect::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    pf::centreOver(this, parentWidget());
}

void frmFolderSelect::keyPressEvent(QKeyEvent *event)
{
    // ESC does not close the picker.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool frmFolderSelect::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == OKButton || watched == CancelButton)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            static_cast<QPushButton *>(watched)->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
