#include "ui/Accounts.h"

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/FetchSecurity.h"
#include "polling/FetchTarget.h"
#include "report/Reply.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace courivane {

namespace {

// Tab stops of the list, in dialog units: a quarter of the font's average character width.
constexpr int kTabStops[] = {160, 280};
// The heads over the list's columns.
constexpr int kHeadTwips = 255;

// Where each column of the list begins in a row's rectangle. A dialog unit is a quarter of the
// font's average character width, taken as dialogs take it: over the letters of the alphabet (a
// font's own average counts wide glyphs too).
QList<int> columnStarts(const QFontMetrics& metrics, const QRect& r) {
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const qreal average = metrics.horizontalAdvance(kAlphabet) / qreal(kAlphabet.size());
    QList<int> starts{r.left()};
    for (const int stop : kTabStops)
        starts << r.left() + qRound(stop * average / 4);
    return starts;
}

// Draws an entry's three fields in three columns that start at the list's tab stops. A field
// too long for its column is cut with an ellipsis, never drawn over the next one; the whole
// entry shows as a tooltip.
class TabStopDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QStringList fields = text.split(u'\t');
        const QRect r = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const QList<int> starts = columnStarts(option.fontMetrics, r);
        painter->save();
        painter->setPen(opt.palette.color(
            option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        for (qsizetype i = 0; i < fields.size() && i < starts.size(); ++i) {
            const int gap = option.fontMetrics.averageCharWidth();
            const int right = i + 1 < starts.size() ? starts.at(i + 1) - gap : r.right();
            const QRect cell(starts.at(i), r.top(), std::max(0, right - starts.at(i)), r.height());
            // The last column takes whatever the entry holds beyond two TABs.
            const QString field =
                i + 1 < starts.size() ? fields.at(i) : fields.mid(i).join(QLatin1Char(' '));
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              option.fontMetrics.elidedText(field, Qt::ElideRight, cell.width()));
        }
        painter->restore();
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString entry = index.data(Qt::DisplayRole).toString();
        QToolTip::showText(event->globalPos(), tooltipText(entry.split(u'\t')), view);
        return true;
    }
};

} // namespace

Accounts::Accounts(QDir programDir, PasswordStore* passwords, QWidget* parent)
    : QWidget(parent, Qt::Tool), List1(new QListWidget(this)), Text1(new QLineEdit(this)),
      Text2(new QLineEdit(this)), Text3(new QLineEdit(this)), Text4(new QLineEdit(this)),
      Label1(new QLabel(QStringLiteral("Company Name:"), this)),
      Label2(new QLabel(QStringLiteral("Monitoring Server:"), this)),
      Label3(new QLabel(QStringLiteral("User Name:"), this)),
      Label4(new QLabel(QStringLiteral("Password:"), this)),
      Command1(new QPushButton(QStringLiteral("Add"), this)),
      Command2(new QPushButton(QStringLiteral("Remove"), this)),
      Command3(new QPushButton(QStringLiteral("Save Settings"), this)),
      Command4(new QPushButton(QStringLiteral("Close Window"), this)),
      Command5(new QPushButton(QStringLiteral("/\\"), this)),
      Command6(new QPushButton(QStringLiteral("\\/"), this)),
      Command7(new QPushButton(QStringLiteral("Replace"), this)), m_dir(std::move(programDir)),
      m_passwords(passwords) {
    layOut();
    connectControls();

    m_read = AccountsFile(m_dir).read();
    List1->addItems(shownEntries());

    placeHeads();
    centreOnScreen(this);
    if (m_read.exists && !m_read.usable)
        showMessage(this, QStringLiteral("%1 could not be read (%2). The list is empty and Save "
                                         "Settings will not replace the file.")
                              .arg(AccountsFile(m_dir).path(), m_read.error));
}

void Accounts::layOut() {
    // The list under heads of its own, one a column.
    placeTwips(List1, "List1", 120, 2040 + kHeadTwips, 9015, 4620 - kHeadTwips);
    for (const char* head : {"Company Name", "Monitoring Server", "User Name"}) {
        auto* label = new QLabel(this);
        label->setAccessibleName(QString::fromLatin1(head));
        label->setObjectName(QStringLiteral("ListHead%1").arg(m_heads.size() + 1));
        m_heads << label;
    }
    placeTwips(Text1, "Text1", 1800, 240, 3855, 285);
    placeTwips(Text2, "Text2", 1800, 720, 3855, 285);
    placeTwips(Text3, "Text3", 1800, 1200, 3855, 285);
    placeTwips(Label1, "Label1", 120, 240, 1455, 255);
    placeTwips(Label2, "Label2", 120, 720, 1695, 255);
    placeTwips(Label3, "Label3", 120, 1200, 1455, 255);
    placeTwips(Text4, "Text4", 1800, 1680, 3855, 285);
    placeTwips(Label4, "Label4", 120, 1680, 1455, 255);
    Text4->setEchoMode(QLineEdit::Password);
    Text4->setToolTip(QStringLiteral("Sent only over https:// when the server asks for it; kept "
                                     "in the desktop's keyring, never in the accounts file"));
    Text4->setEnabled(m_passwords != nullptr);
    connect(Text4, &QLineEdit::textEdited, this, [this] { m_passwordEdited = true; });
    placeTwips(Command1, "Command1", 5880, 1200, 855, 255);
    placeTwips(Command2, "Command2", 7080, 1200, 855, 255);
    placeTwips(Command3, "Command3", 8160, 120, 1455, 375);
    placeTwips(Command4, "Command4", 8160, 600, 1455, 375);
    placeTwips(Command5, "Command5", 9240, 3600, 375, 375);
    placeTwips(Command6, "Command6", 9240, 4200, 375, 375);
    placeTwips(Command7, "Command7", 8280, 1200, 855, 255);

    List1->setItemDelegate(new TabStopDelegate(List1));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    const QSize fitted = fitToScreen(QSize(9750, 6750));
    setUpDialog(this, QStringLiteral("Accounts"), fitted.width(), fitted.height(),
                {List1, Text1, Text2, Text3, Text4, Command1, Command2, Command3, Command4,
                 Command5, Command6, Command7});
}

void Accounts::connectControls() {
    connect(Command1, &QPushButton::clicked, this, &Accounts::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Accounts::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Accounts::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Accounts::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Accounts::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Accounts::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Accounts::Command7_Click);
    connect(List1, &QListWidget::itemDoubleClicked, this, &Accounts::List1_DblClick);
    // One click on an entry is enough to take it into the boxes.
    connect(List1, &QListWidget::itemClicked, this, &Accounts::List1_DblClick);
}

void Accounts::placeHeads() {
    // Over the columns as the list draws them: inside its frame, at its tab stops.
    const int inset = List1->frameWidth();
    const QList<int> starts = columnStarts(List1->fontMetrics(), QRect(0, 0, List1->width(), 1));
    const int height = pixelsFromTwips(kHeadTwips);
    for (qsizetype i = 0; i < m_heads.size() && i < starts.size(); ++i) {
        const int left = List1->x() + inset + starts.at(i);
        const int right = i + 1 < starts.size() ? List1->x() + inset + starts.at(i + 1)
                                                : List1->geometry().right();
        QLabel* head = m_heads.at(i);
        head->setGeometry(left, List1->y() - height, right - left, height);
        // A column too narrow for its head cuts it as it cuts its fields.
        head->setText(
            head->fontMetrics().elidedText(head->accessibleName(), Qt::ElideRight, right - left));
    }
}

QSize Accounts::fitToScreen(QSize designedTwips) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return designedTwips;
    // Room for the window manager's frame and title around it, as the dialog's frame needs.
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    const int wide = std::max(0, pixelsFromTwips(designedTwips.width()) - room.width());
    const int high = std::max(0, pixelsFromTwips(designedTwips.height()) - room.height());
    // On a screen too small for the designed size (a high scale), the list and the boxes give
    // up what is missing, and the buttons move along, so that every control reads whole. The
    // boxes keep room for a name; beyond that the dialog scrolls as any other does.
    const int boxesGive = std::min(wide, std::max(0, Text1->width() - pixelsFromTwips(2400)));
    const int listGives = std::min(high, std::max(0, List1->height() - pixelsFromTwips(1500)));
    if (boxesGive == 0 && listGives == 0)
        return designedTwips;
    for (QLineEdit* box : {Text1, Text2, Text3, Text4})
        box->resize(box->width() - boxesGive, box->height());
    for (QPushButton* button :
         {Command1, Command2, Command3, Command4, Command5, Command6, Command7})
        button->move(button->x() - boxesGive, button->y());
    List1->resize(List1->width() - boxesGive, List1->height() - listGives);
    return designedTwips - QSize(twipsFromPixels(boxesGive), twipsFromPixels(listGives));
}

QStringList Accounts::shownEntries() const {
    QStringList list;
    for (const AccountRecord& record : m_read.records)
        list << toListEntry(record);
    // An incomplete last account is shown, so that the user can complete it instead of losing it.
    if (m_read.incomplete)
        list << toListEntry(*m_read.incomplete);
    return list;
}

QStringList Accounts::entries() const {
    QStringList list;
    for (int i = 0; i < List1->count(); ++i)
        list << List1->item(i)->text();
    return list;
}

bool Accounts::validEntry(QString& entry) {
    const AccountRecord record{Text1->text(), Text2->text(), Text3->text()};
    if (const QString fault = entryFault(record); !fault.isEmpty()) {
        showMessage(this, fault);
        return false;
    }
    entry = toListEntry(record);
    return true;
}

void Accounts::clearBoxes() {
    Text1->clear();
    Text2->clear();
    Text3->clear();
    Text4->clear();
    m_passwordEdited = false;
    Text1->setFocus();
}

namespace {
QString stagedKey(const FetchTarget& target) {
    return target.server + u'\t' + target.user;
}
} // namespace

FetchTarget Accounts::targetInBoxes() const {
    // A password is kept under the names a fetch looks it up by.
    return deriveFetchTarget({Text1->text(), Text2->text(), Text3->text()}, 0);
}

void Accounts::stagePassword() {
    if (!m_passwords || !m_passwordEdited)
        return;
    const FetchTarget target = targetInBoxes();
    // A password goes only over TLS: one for a plain server would be kept and never used.
    if (!target.tls && !Text4->text().isEmpty() &&
        !askQuestion(this, QStringLiteral("A password is sent only over https://, so the one for "
                                          "%1 on %2 would never be used. Keep it all the same?")
                               .arg(printableText(target.user), printableText(target.server))))
        return;
    m_staged.insert(stagedKey(target), {target.server, target.user, Text4->text()});
}

void Accounts::savePasswords() {
    // Only for the accounts saved: a password typed for an entry removed since goes nowhere.
    QSet<QString> saved;
    for (const QString& entry : entries())
        if (const auto record = fromListEntry(entry))
            saved.insert(stagedKey(deriveFetchTarget(*record, 0)));
    const QList<Staged> staged = m_staged.values();
    m_staged.clear();
    for (const Staged& s : staged) {
        if (!saved.contains(s.server + u'\t' + s.user))
            continue;
        m_passwords->save(s.server, s.user, s.password, this, [this, s](const QString& error) {
            if (!error.isEmpty())
                showMessage(this, QStringLiteral("The password for %1 on %2 could not be kept "
                                                 "in the keyring: %3")
                                      .arg(s.user, s.server, error));
        });
    }
}

void Accounts::Command1_Click() {
    QString entry;
    if (!validEntry(entry))
        return;
    List1->addItem(entry);
    stagePassword();
    clearBoxes();
}

void Accounts::Command7_Click() {
    const int i = List1->currentRow();
    if (i < 0 || !List1->currentItem()->isSelected())
        return;
    QString entry;
    if (!validEntry(entry))
        return;
    List1->insertItem(i + 1, entry);
    delete List1->takeItem(i);
    stagePassword();
    clearBoxes();
}

void Accounts::Command2_Click() {
    const int i = List1->currentRow();
    if (i < 0 || !List1->currentItem()->isSelected())
        return;
    delete List1->takeItem(i);
}

void Accounts::moveSelected(int step) {
    const int i = List1->currentRow();
    const int j = i + step;
    if (i < 0 || !List1->currentItem()->isSelected() || j < 0 || j >= List1->count())
        return;
    QListWidgetItem* item = List1->takeItem(i);
    List1->insertItem(j, item);
    List1->setCurrentRow(j);
}

void Accounts::Command5_Click() {
    moveSelected(-1);
}

void Accounts::Command6_Click() {
    moveSelected(+1);
}

void Accounts::List1_DblClick() {
    const QListWidgetItem* item = List1->currentItem();
    if (!item || !item->isSelected())
        return;
    // Only an entry of three fields is split; anything else leaves the boxes as they are.
    const auto record = fromListEntry(item->text());
    if (!record)
        return;
    // A password being typed is not lost without a word.
    if (m_passwordEdited && !Text4->text().isEmpty() &&
        !askQuestion(this, QStringLiteral("Discard the password typed in the Password box?")))
        return;
    Text1->setText(record->CompanyName);
    Text2->setText(record->MonitoringServer);
    Text3->setText(record->UserName);
    Text4->clear();
    m_passwordEdited = false;
    if (!m_passwords)
        return;
    // The stored password fills the box, unless the boxes moved on or it was typed over first.
    const FetchTarget target = deriveFetchTarget(*record, 0);
    const auto staged = m_staged.constFind(stagedKey(target));
    if (staged != m_staged.cend()) {
        Text4->setText(staged->password);
        return;
    }
    m_passwords->find(target.server, target.user, this,
                      [this, target](const std::optional<QString>& password) {
                          const FetchTarget now = targetInBoxes();
                          if (password && !m_passwordEdited && now.server == target.server &&
                              now.user == target.user)
                              Text4->setText(*password);
                      });
}

void Accounts::Command3_Click() {
    const AccountsFile file(m_dir);
    const QStringList list = entries();
    const AccountsFile::SaveCheck check = file.checkSave(m_read, list);
    if (!check.refusal.isEmpty()) {
        showMessage(this, check.refusal);
        return;
    }
    for (const QString& question : check.questions) {
        if (!askQuestion(this, question))
            return;
    }
    if (const QString question = file.changedQuestion(m_read);
        !question.isEmpty() && !askQuestion(this, question))
        return;
    const QString error = file.writeEntries(list, LineBytes(m_read.raw));
    if (!error.isEmpty()) {
        showMessage(this, QStringLiteral("%1 could not be saved: %2").arg(file.path(), error));
        return;
    }
    m_read = file.read();
    savePasswords();
    if (const QString other = OptionsFile(m_dir).writeDefaultsIfMissing(); !other.isEmpty())
        showMessage(
            this,
            QStringLiteral("%1 could not be saved: %2").arg(OptionsFile(m_dir).path(), other));
    emit saved();
}

bool Accounts::mayDiscard() {
    return (entries() == shownEntries() && m_staged.isEmpty()) ||
           askQuestion(this, QStringLiteral("Discard the changes to the accounts list?"));
}

void Accounts::Command4_Click() {
    if (mayDiscard())
        close();
}

void Accounts::closeEvent(QCloseEvent* event) {
    // The window manager's close asks as "Close Window" does; the program's own close at its
    // end (Close Application, a signal) does not wait for an answer.
    if (event->spontaneous() && !mayDiscard()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace courivane
