#include "preferences_dialog.h"

#include "examples.h"
#include "pickers.h"
#include "pref_keys.h"
#include "preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QScrollArea>
#include <QVBoxLayout>

#include <array>

namespace oakvane {

namespace {

// The name-field lists' entries, in the order of their code letters.
constexpr char kCodes[] = "SDTdtFNAUE";
constexpr std::array<const char*, 10> kCodeEntries = {
    "text", "YYYYMMDD", "YYYYMMDD_HHMMSS", "YYMMDD", "YYMMDD_HHMMSS",
    "file name", "file-name numbers", "auto numbers", "unique ID", " "};
constexpr std::array<const char*, 3> kPreviews = {"-p0", "-p1", "-p2"};

constexpr std::array<const char*, 4> kNameTextKeys = {"NamePfx", "NameText2", "NameText3",
                                                      "NameText4"};
using TextGetter = std::string (Preferences::*)() const;
constexpr std::array<TextGetter, 4> kNameTextGetters = {
    &Preferences::GetNamePfx, &Preferences::GetNameText2, &Preferences::GetNameText3,
    &Preferences::GetNameText4};

constexpr char kTitle[] = "Oakvane Preferences";
constexpr char kProgramFilter[] = "All files (*)";

QString qs(const std::string& text) { return QString::fromStdString(text); }

// Accessibility tools and tests know a control by its visible label, without the mnemonic mark.
QString plain(const QString& label)
{
    QString text = label;
    return text.remove(QLatin1Char('&'));
}

QLabel* heading(const QString& text)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// What a window manager's frame may take around a dialog: a title bar and borders.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;

// What a folder or program is for, wrapped in a column of this width.
constexpr int kHelpWidth = 560;

QLabel* help_text(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    // The grid sizes its rows from hints that leave wrapped lines out: reserve the lines the
    // narrowest column needs, which is enough for any wider one.
    label->setMinimumSize(kHelpWidth, label->heightForWidth(kHelpWidth));
    return label;
}

// A path shown as in a sunken field. A long path must not widen the dialog: it is cut at the
// field's end and shown whole in the tool tip.
QLabel* path_field(const char* key, const QString& name)
{
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(key));
    label->setAccessibleName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

template <class W>
W* named(W* widget, const QString& object_name)
{
    widget->setObjectName(object_name);
    return widget;
}

QCheckBox* check(const char* key, const QString& label)
{
    auto* box = named(new QCheckBox(label), QLatin1String(key));
    box->setAccessibleName(plain(label));
    return box;
}

QPushButton* button(const char* name, const QString& label)
{
    auto* push = named(new QPushButton(label), QLatin1String(name));
    push->setAccessibleName(plain(label));
    push->setAutoDefault(false);
    return push;
}

// Edits and lists are named by the label that names them for the eye.
void label_for(QLabel* label, QWidget* widget)
{
    label->setBuddy(widget);
    widget->setAccessibleName(plain(label->text()));
}

QHBoxLayout* indented(int indent)
{
    auto* row = new QHBoxLayout;
    row->addSpacing(indent);
    return row;
}

}  // namespace

struct CPreferencesDlg::Controls {
    QPushButton* chooseCard = nullptr;
    QPushButton* choosePrimary = nullptr;
    QPushButton* chooseBackup = nullptr;
    QPushButton* chooseReport = nullptr;
    QPushButton* chooseViewer = nullptr;
    QPushButton* chooseConverter = nullptr;
    QLabel* cardFolder = nullptr;
    QLabel* primaryFolder = nullptr;
    QLabel* backupFolder = nullptr;
    QLineEdit* reportFolder = nullptr;
    QLabel* viewerApp = nullptr;
    QLabel* converterApp = nullptr;

    QCheckBox* keepRaw = nullptr;
    QCheckBox* verifyOnly = nullptr;
    QComboBox* preview = nullptr;
    QCheckBox* embed = nullptr;
    QCheckBox* sound = nullptr;
    QPushButton* help = nullptr;

    QCheckBox* dateFolders = nullptr;
    std::array<QRadioButton*, 3> arrangement{};
    QButtonGroup* arrangementGroup = nullptr;
    QCheckBox* userFolder = nullptr;
    QCheckBox* rangeFolder = nullptr;
    QPlainTextEdit* arrangementExample = nullptr;

    std::array<QComboBox*, 4> nameFmt{};
    std::array<QLineEdit*, 4> nameText{};
    QLabel* nameExample = nullptr;

    QCheckBox* autoIngest = nullptr;
    QCheckBox* autoEject = nullptr;
    QCheckBox* updateCheck = nullptr;
    QCheckBox* readBack = nullptr;
    QCheckBox* decodeRaws = nullptr;
    QComboBox* prefSets = nullptr;
    std::vector<std::string> setEntries;
    QPushButton* close = nullptr;
};

CPreferencesDlg::CPreferencesDlg(Preferences& prefs, std::function<void()> apply_to_window,
                                 QWidget* parent)
    : QDialog(parent),
      m_prefs(prefs),
      m_apply_to_window(std::move(apply_to_window)),
      m_controls(std::make_unique<Controls>())
{
    setWindowTitle(QLatin1String(kTitle));
    BuildControls();
    ConnectControls();
}

CPreferencesDlg::~CPreferencesDlg()
{
    // Destroyed while still shown (its owner went away): its changes are not lost.
    if (isVisible())
        m_prefs.WritePrefSet();
    // The controls outlive this part of the dialog, and hiding them at their end takes the
    // focus from an edit: their last signals must not reach handlers whose state is gone.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
}

void CPreferencesDlg::BuildControls()
{
    Controls& c = *m_controls;
    // Everything but the bottom row scrolls, so that Close stays in view on a small screen.
    auto* content = new QWidget;
    auto* body = new QVBoxLayout(content);
    body->setContentsMargins(0, 0, 0, 0);
    auto* scroll = named(new QScrollArea, QStringLiteral("Scroll"));
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* top = new QVBoxLayout(this);
    top->addWidget(scroll, 1);

    // Folders and programs: a title, what it is for and its button, then the path below.
    auto* places = new QGridLayout;
    places->setColumnStretch(1, 1);
    int row = 0;
    auto add_place = [&](const QString& title, const QString& text, QPushButton* choose,
                         QLabel* path) {
        places->addWidget(heading(title), row, 0, Qt::AlignTop);
        places->addWidget(help_text(text), row, 1);
        places->addWidget(choose, row, 2, Qt::AlignTop);
        ++row;
        if (path) {
            QHBoxLayout* line = indented(20);
            line->addWidget(path);
            places->addLayout(line, row, 0, 1, 2);
            ++row;
            places->setRowMinimumHeight(row++, 6);  // air between one place and the next
        }
    };
    c.chooseCard = button("ChooseCard", tr("Choose &Card..."));
    c.cardFolder = path_field("CardFolder", tr("Card Folder"));
    add_place(tr("Card Folder"),
              tr("Path to card containing images (e.g., NEF and JPG files). Press Choose Card "
                 "button and choose Cancel from the dialog to restore the [user choice] setting."),
              c.chooseCard, c.cardFolder);
    c.choosePrimary = button("ChoosePrimary", tr("Choose &Primary..."));
    c.primaryFolder = path_field("PrimaryFolder", tr("Primary Image Folder"));
    add_place(tr("Primary Image Folder"), tr("Path to folder where Oakvane places images."),
              c.choosePrimary, c.primaryFolder);
    c.chooseBackup = button("ChooseBackup", tr("Choose &Backup..."));
    c.backupFolder = path_field("BackupFolder", tr("Backup Image Folder"));
    add_place(tr("Backup Image Folder"),
              tr("Path to folder for backup image files copied from card. Best if it's on a "
                 "different drive from the primary image folder."),
              c.chooseBackup, c.backupFolder);
    // Typed as well as chosen: emptying the field is how the user stops the reports.
    c.chooseReport = button("ChooseReport", tr("Choose Report..."));
    c.reportFolder = named(new QLineEdit, QStringLiteral("ReportFolder"));
    c.reportFolder->setPlaceholderText(tr("(no report)"));
    auto* report_title = heading(tr("Report folder"));
    label_for(report_title, c.reportFolder);
    places->addWidget(report_title, row, 0, Qt::AlignTop);
    places->addWidget(help_text(tr("Folder where every ingestion writes a report of what it "
                                   "copied and how each file was checked, one file per run. "
                                   "Leave it empty for no report.")),
                      row, 1);
    places->addWidget(c.chooseReport, row++, 2, Qt::AlignTop);
    QHBoxLayout* report_line = indented(20);
    report_line->addWidget(c.reportFolder);
    places->addLayout(report_line, row++, 0, 1, 2);
    places->setRowMinimumHeight(row++, 6);
    c.chooseViewer = button("ChooseViewer", tr("Choose &Viewer..."));
    c.viewerApp = path_field("ViewerApp", tr("Viewer"));
    add_place(tr("Viewer"),
              tr("Path to digiKam, darktable, gThumb, Eye of GNOME, or other image viewer. Press "
                 "Choose Viewer button and choose Cancel from the dialog if you don't want a viewer to be launched."),
              c.chooseViewer, c.viewerApp);
    c.chooseConverter = button("ChooseConverter", tr("Choose Co&nverter..."));
    add_place(tr("Adobe DNG Converter"),
              tr("Path to a DNG converter that takes Adobe DNG Converter's options, such as "
                 "Adobe DNG Converter run through Wine. Without a converter, raw files are "
                 "still copied."),
              c.chooseConverter, nullptr);

    // The converter's switches sit between its title and its path.
    auto* switches = indented(20);
    c.keepRaw = check("KeepRaw", tr("&Run DNG Converter"));
    c.verifyOnly = check("VerifyOnly", tr("Verif&y only"));
    c.preview = named(new QComboBox, QStringLiteral("Preview"));
    c.preview->addItems({tr("No JPEG preview"), tr("Medium-size JPEG preview"),
                         tr("Full-size JPEG preview")});
    c.preview->setCurrentIndex(-1);
    // A list is known to a screen reader by the label that names it, not by its own name.
    auto* preview_label = new QLabel(tr("JPEG preview:"));
    preview_label->setBuddy(c.preview);
    c.preview->setAccessibleName(tr("JPEG preview"));
    c.embed = check("Embed", tr("&Embed raw"));
    for (QWidget* w : std::initializer_list<QWidget*>{c.keepRaw, c.verifyOnly, preview_label,
                                                      c.preview, c.embed})
        switches->addWidget(w);
    switches->addStretch();
    places->addLayout(switches, row, 0, 1, 2);
    // Kept for sets that hold them, but not offered: the dialog never shows these two.
    c.sound = check("Sound", tr("Sound on Eject"));
    c.sound->setVisible(false);
    places->addWidget(c.sound, row, 2);
    ++row;
    c.converterApp = path_field("ConverterApp", tr("Adobe DNG Converter"));
    auto* converter_line = indented(20);
    converter_line->addWidget(c.converterApp);
    places->addLayout(converter_line, row, 0, 1, 2);
    c.help = button("Help", tr("Help (on &Web)"));
    c.help->setVisible(false);
    places->addWidget(c.help, row, 2);
    // The other check of raws: the ones the converter does not get are decoded instead.
    ++row;
    auto* decode_line = indented(20);
    c.decodeRaws = check("DecodeRaws", tr("Check ra&w files by decoding them (camera DNGs, and "
                                          "all raws when the converter does not run)"));
    decode_line->addWidget(c.decodeRaws);
    decode_line->addStretch();
    places->addLayout(decode_line, row, 0, 1, 3);
    body->addLayout(places);
    body->addSpacing(8);

    // Folder arrangement on the left, its example on the right beside the name fields.
    auto* layout = new QGridLayout;
    layout->setColumnStretch(0, 1);
    layout->addWidget(heading(tr("Arrangement Under Primary Image Folder")), 0, 0, 1, 2);
    auto* dates = indented(10);
    c.dateFolders = check("WantDateFolders", tr("&Date Folder(s)"));
    dates->addWidget(c.dateFolders);
    dates->addSpacing(30);
    c.arrangementGroup = new QButtonGroup(this);
    const std::array<QString, 3> radio_labels = {tr("Date &Only"), tr("Year &and Date"),
                                                 tr("Year, &Month, and Date")};
    for (int i = 0; i < 3; ++i) {
        auto* radio = named(new QRadioButton(radio_labels[i]),
                            QStringLiteral("Arrangement%1").arg(i + 1));
        radio->setAccessibleName(plain(radio_labels[i]));
        c.arrangementGroup->addButton(radio, i + 1);
        c.arrangement[i] = radio;
        dates->addWidget(radio);
    }
    dates->addStretch();
    layout->addLayout(dates, 1, 0, 1, 2);
    c.userFolder = check("WantUserFolder", tr("&User-Named Folder (Named on main window.)"));
    c.rangeFolder = check("WantRangeFolder", tr("Number-Ran&ge Folder (Numbers taken from "
                                                "file-name or auto numbers in Image File Name.)"));
    auto* user_line = indented(10);
    user_line->addWidget(c.userFolder);
    layout->addLayout(user_line, 2, 0);
    auto* example_title = new QLabel(tr("Folder Arrangemen&t Example"));
    layout->addWidget(example_title, 2, 1);
    auto* range_line = indented(10);
    range_line->addWidget(c.rangeFolder);
    layout->addLayout(range_line, 3, 0);
    c.arrangementExample = named(new QPlainTextEdit, QStringLiteral("ArrangementExample"));
    c.arrangementExample->setReadOnly(true);
    c.arrangementExample->setTabChangesFocus(true);
    c.arrangementExample->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Deep enough for the deepest tree; it takes the height of the rows beside it and must
    // not spread them apart.
    c.arrangementExample->setMinimumSize(300, 170);
    c.arrangementExample->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    label_for(example_title, c.arrangementExample);
    layout->addWidget(c.arrangementExample, 3, 1, 6, 1);

    auto* name_title = heading(tr("&Image File Name"));
    layout->addWidget(name_title, 4, 0);
    for (int i = 0; i < 4; ++i) {
        auto* line = indented(20);
        auto* list = named(new QComboBox, QStringLiteral("NameFmt%1").arg(i + 1));
        for (const char* entry : kCodeEntries)
            list->addItem(tr(entry));
        list->setCurrentIndex(-1);
        list->setAccessibleName(tr("Image File Name field %1").arg(i + 1));
        auto* text = named(new QLineEdit, QLatin1String(kNameTextKeys[i]));
        text->setAccessibleName(tr("Image File Name text %1").arg(i + 1));
        text->setMinimumWidth(240);
        // Showing and hiding an edit must not move the fields below it.
        QSizePolicy keep = text->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        text->setSizePolicy(keep);
        c.nameFmt[i] = list;
        c.nameText[i] = text;
        auto* number = new QLabel(tr("%1:").arg(i + 1));
        number->setBuddy(list);
        number->setAccessibleName(list->accessibleName());
        line->addWidget(number);
        line->addWidget(list);
        line->addWidget(text);
        line->addStretch();
        layout->addLayout(line, 5 + i, 0);
    }
    name_title->setBuddy(c.nameFmt[0]);
    auto* example_line = indented(20);
    auto* example_label = new QLabel(tr("Example:"));
    c.nameExample = named(new QLabel, QStringLiteral("NameExample"));
    // Named by its label through the relation; its own name is the example, which a screen
    // reader reads as it changes.
    example_label->setBuddy(c.nameExample);
    c.nameExample->setAccessibleDescription(tr("Image File Name example"));
    c.nameExample->setTextInteractionFlags(Qt::TextSelectableByMouse);
    example_line->addWidget(example_label);
    example_line->addWidget(c.nameExample, 1);
    layout->addLayout(example_line, 9, 0, 1, 2);
    body->addLayout(layout);

    // How copies are checked, beyond their size and the JPEGs' decoding.
    body->addWidget(heading(tr("Checking")));
    auto* checking = indented(20);
    c.readBack = check("ReadBack",
                       tr("Read every copy bac&k from the disk and compare it with the card"));
    checking->addWidget(c.readBack);
    checking->addStretch();
    body->addLayout(checking);
    body->addStretch();

    // Automation, the set list and Close along the bottom.
    auto* bottom = new QGridLayout;
    bottom->addWidget(heading(tr("Automation")), 0, 0);
    auto* automation = indented(20);
    c.autoIngest = check("AutoIngest", tr("Auto Inge&st"));
    c.autoEject = check("AutoEject", tr("Auto E&ject"));
    c.updateCheck = check("UpdateCheck", tr("Update C&heck"));
    automation->addWidget(c.autoIngest);
    automation->addWidget(c.autoEject);
    automation->addWidget(c.updateCheck);
    bottom->addLayout(automation, 1, 0);
    bottom->setColumnStretch(1, 1);
    auto* sets_title = new QLabel(tr("Pre&ference Set"));
    bottom->addWidget(sets_title, 0, 2);
    c.prefSets = named(new QComboBox, QStringLiteral("PrefSetCurrent"));
    c.prefSets->setMinimumWidth(220);
    label_for(sets_title, c.prefSets);
    bottom->addWidget(c.prefSets, 1, 2);
    c.close = button("Close", tr("C&lose"));
    c.close->setDefault(true);
    bottom->addWidget(c.close, 1, 3);
    top->addLayout(bottom);

    // The tab order is the reading order: top to bottom, left to right.
    const std::vector<QWidget*> order = {
        c.chooseCard, c.choosePrimary, c.chooseBackup, c.chooseReport, c.reportFolder,
        c.chooseViewer, c.chooseConverter,
        c.keepRaw, c.verifyOnly, c.preview, c.embed, c.sound, c.help, c.decodeRaws, c.dateFolders,
        c.arrangement[0], c.arrangement[1], c.arrangement[2], c.userFolder, c.rangeFolder,
        c.arrangementExample, c.nameFmt[0], c.nameText[0], c.nameFmt[1], c.nameText[1],
        c.nameFmt[2], c.nameText[2], c.nameFmt[3], c.nameText[3], c.readBack, c.autoIngest,
        c.autoEject, c.updateCheck, c.prefSets, c.close};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void CPreferencesDlg::ConnectControls()
{
    Controls& c = *m_controls;
    connect(c.chooseCard, &QPushButton::clicked, this, [this] { OnChooseCard(); });
    connect(c.choosePrimary, &QPushButton::clicked, this, [this] {
        OnChooseFolder("PrimaryFolder", "Choose primary folder", m_prefs.GetPrimaryFolder());
    });
    connect(c.chooseBackup, &QPushButton::clicked, this, [this] {
        OnChooseFolder("BackupFolder", "Choose backup folder", m_prefs.GetBackupFolder());
    });
    connect(c.chooseReport, &QPushButton::clicked, this, [this] {
        OnChooseFolder("ReportFolder", "Choose report folder", m_prefs.GetReportFolder());
    });
    connect(c.reportFolder, &QLineEdit::editingFinished, this, [this] { StoreReportFolder(); });
    connect(c.chooseViewer, &QPushButton::clicked, this, [this] { OnChooseViewer(); });
    connect(c.chooseConverter, &QPushButton::clicked, this, [this] { OnChooseConverter(); });
    connect(c.help, &QPushButton::clicked, this,
            [] { open_web_page("/Oakvane/prefhelp.php"); });

    // toggled, not clicked: the accessibility bus's Toggle changes a box without a click. A
    // refresh that sets the boxes is told apart by m_refreshing and stores nothing.
    const std::array<std::pair<QCheckBox*, const char*>, 11> flags = {{
        {c.keepRaw, "KeepRaw"},
        {c.verifyOnly, "VerifyOnly"},
        {c.embed, "Embed"},
        {c.sound, "Sound"},
        {c.dateFolders, "WantDateFolders"},
        {c.userFolder, "WantUserFolder"},
        {c.rangeFolder, "WantRangeFolder"},
        {c.autoIngest, "AutoIngest"},
        {c.autoEject, "AutoEject"},
        {c.readBack, "ReadBack"},
        {c.decodeRaws, "DecodeRaws"},
    }};
    for (const auto& [box, key] : flags) {
        connect(box, &QCheckBox::toggled, this, [this, key = key](bool on) {
            if (m_refreshing)
                return;
            PutInt(key, on ? 1 : 0);
            RefreshControls();
        });
    }
    connect(c.updateCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (m_refreshing)
            return;
        m_prefs.SetUpdateCheck(on);  // shows its own message when the profile is not written
        RefreshControls();
    });
    connect(c.arrangementGroup, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on && !m_refreshing)
            OnArrangement(id);
    });
    connect(c.preview, &QComboBox::activated, this, [this](int index) { OnPreview(index); });
    for (int i = 0; i < 4; ++i) {
        connect(c.nameFmt[i], &QComboBox::activated, this, [this] { OnNameFmt(); });
        connect(c.nameText[i], &QLineEdit::editingFinished, this,
                [this, i] { StoreNameText(i); });
    }
    connect(c.prefSets, &QComboBox::activated, this, [this](int index) { OnPrefSetChange(index); });
    connect(c.close, &QPushButton::clicked, this, [this] { OnClose(); });
}

void CPreferencesDlg::setVisible(bool visible)
{
    if (visible && !m_setUp) {
        m_setUp = true;
        SetUp();
        FitToScreen();
    }
    QDialog::setVisible(visible);
}

// As large as the controls want, within the screen's free area less room for the window
// frame: the rest scrolls.
void CPreferencesDlg::FitToScreen()
{
    const auto* scroll = findChild<QScrollArea*>(QStringLiteral("Scroll"));
    // As narrow as the help texts allow: a wider dialog only spreads them out.
    // As narrow as the help texts allow: a wider dialog only spreads them out. The scroll
    // area's own hint is capped at a few dozen lines, so the content's hint is taken instead.
    const QWidget* content = scroll->widget();
    const QMargins margins = layout()->contentsMargins();
    const int content_width = content->minimumSizeHint().width();
    const int width = content_width + scroll->verticalScrollBar()->sizeHint().width() +
                      margins.left() + margins.right();
    // Narrower, the content may want more height than its hint says.
    const int content_height =
        std::max(content->sizeHint().height(), content->heightForWidth(content_width));
    // A line to spare: hints of wrapped texts are estimates, and a scroll bar for a few
    // pixels only hides them.
    const int height = sizeHint().height() - scroll->sizeHint().height() + content_height +
                       fontMetrics().height();
    QSize wanted(std::max(width, minimumSizeHint().width()), height);
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (screen) {
        const QSize room = screen->availableGeometry().size() - QSize(kFrameWidth, kFrameHeight);
        wanted = wanted.boundedTo(room);
    }
    resize(wanted);
    // Laid out for real, the content may still want a little more: grow by what is left to
    // scroll, as far as the screen allows.
    QTimer::singleShot(0, this, [this, scroll, screen] {
        const int left_over = scroll->verticalScrollBar()->maximum();
        if (left_over <= 0 || !screen)
            return;
        const int room = screen->availableGeometry().height() - kFrameHeight;
        resize(this->width(), std::min(this->height() + left_over, std::max(room, this->height())));
    });
}

void CPreferencesDlg::SetUp()
{
    // A format of the older three-field kind gains a leading text field.
    const std::string format = m_prefs.GetNameFmt();
    if (format.size() == 3)
        PutStr("NameFmt", "S" + format);
    on_pref_sets_changed();
    // A set that cannot be read leaves the previous one current: show that one.
    if (!m_prefs.SwitchPrefSet(m_prefs.GetPrefSetCurrent()))
        on_preferences_switched(m_prefs.CurrentSetName().value_or(kDefaultSet));
}

void CPreferencesDlg::done(int result)
{
    StorePendingEdits();
    QDialog::done(result);
    m_setUp = false;  // shown again, it sets itself up again
    m_prefs.WritePrefSet();
}

void CPreferencesDlg::OnClose()
{
    // A keyboard shortcut presses Close without taking the focus from an edit being typed in.
    StorePendingEdits();
    m_prefs.WritePrefSet();  // a failure is on the error trace; the set is written again later
    accept();
}

void CPreferencesDlg::on_preferences_switched(const std::string& set_name)
{
    Controls& c = *m_controls;
    c.prefSets->setCurrentIndex(SelectPrefSetEntry(c.setEntries, set_name));
    RefreshControls();
    setWindowTitle(QLatin1String(kTitle) + QStringLiteral(" (") + qs(set_name) +
                   QStringLiteral(")"));
}

void CPreferencesDlg::on_pref_sets_changed()
{
    Controls& c = *m_controls;
    const SetList list = m_prefs.FillPrefSetCombo(true);
    c.setEntries = list.entries;
    c.prefSets->clear();
    for (const std::string& entry : list.entries)
        c.prefSets->addItem(qs(entry));
    c.prefSets->setCurrentIndex(list.selected);
}

void CPreferencesDlg::RefreshControls()
{
    const QScopedValueRollback refreshing(m_refreshing, true);
    Controls& c = *m_controls;
    const bool keep_raw = m_prefs.GetKeepRaw();
    const bool verify_only = m_prefs.GetVerifyOnly();
    const auto show_path = [](QLabel* field, const std::string& path) {
        field->setText(qs(path));
        field->setToolTip(qs(path));
    };
    show_path(c.cardFolder, m_prefs.GetCardFolder());
    show_path(c.backupFolder, m_prefs.GetBackupFolder());
    show_path(c.primaryFolder, m_prefs.GetPrimaryFolder());
    show_path(c.viewerApp, m_prefs.GetViewerApp());
    // Set only when it differs, so that a refresh does not move the cursor of the edit.
    if (c.reportFolder->text() != qs(m_prefs.GetReportFolder()))
        c.reportFolder->setText(qs(m_prefs.GetReportFolder()));
    show_path(c.converterApp, m_prefs.GetConverterApp() + (keep_raw ? "" : " (not used)"));

    c.keepRaw->setChecked(keep_raw);
    c.embed->setChecked(m_prefs.GetEmbed());
    c.verifyOnly->setChecked(verify_only);
    c.sound->setChecked(m_prefs.GetSound());
    c.readBack->setChecked(m_prefs.GetReadBack());
    c.decodeRaws->setChecked(m_prefs.GetDecodeRaws());
    c.autoEject->setChecked(m_prefs.GetAutoEject());
    c.autoIngest->setChecked(m_prefs.GetAutoIngest());
    c.updateCheck->setChecked(m_prefs.GetUpdateCheck());
    const std::string preview = m_prefs.GetPreview();
    for (int i = 0; i < static_cast<int>(kPreviews.size()); ++i)
        if (preview == kPreviews[i])
            c.preview->setCurrentIndex(i);

    const std::string format = m_prefs.GetNameFmt();
    RefreshNameFields(format);
    c.dateFolders->setChecked(m_prefs.GetWantDateFolders());
    c.userFolder->setChecked(m_prefs.GetWantUserFolder());
    c.rangeFolder->setChecked(m_prefs.GetWantRangeFolder());
    std::array<std::string, 4> texts;
    for (int i = 0; i < 4; ++i)
        texts[i] = (m_prefs.*kNameTextGetters[i])();
    c.nameExample->setText(qs(BuildNameExample(format, texts, keep_raw, verify_only)));

    c.sound->setEnabled(m_prefs.GetAutoEject());
    c.verifyOnly->setEnabled(keep_raw);
    c.preview->setEnabled(keep_raw && !verify_only);
    c.embed->setEnabled(keep_raw && !verify_only);
    c.converterApp->setEnabled(keep_raw);
    RefreshArrangement();
    if (m_apply_to_window)
        m_apply_to_window();
}

void CPreferencesDlg::RefreshNameFields(const std::string& format)
{
    Controls& c = *m_controls;
    for (int i = 0; i < 4; ++i) {
        const std::string text = (m_prefs.*kNameTextGetters[i])();
        if (c.nameText[i]->text() != qs(text))
            c.nameText[i]->setText(qs(text));
    }
    for (std::size_t i = 0; i < format.size() && i < 4; ++i) {
        const char* code = std::char_traits<char>::find(kCodes, sizeof kCodes - 1, format[i]);
        if (!code)
            continue;  // a letter the lists do not know leaves its field as it was
        c.nameFmt[i]->setCurrentIndex(static_cast<int>(code - kCodes));
        c.nameText[i]->setVisible(*code == 'S');
    }
}

void CPreferencesDlg::RefreshArrangement()
{
    Controls& c = *m_controls;
    const int arrangement = m_prefs.GetArrangement();
    const bool dates = m_prefs.GetWantDateFolders();
    QString example = qs(BuildArrangementExample(arrangement, dates, m_prefs.GetWantUserFolder(),
                                                 m_prefs.GetWantRangeFolder(),
                                                 m_prefs.GetPrimaryFolder()));
    // The edit wants its lines joined by LF alone.
    example.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    c.arrangementExample->setPlainText(example);
    if (arrangement >= 1 && arrangement <= 3) {
        c.arrangement[arrangement - 1]->setChecked(true);
    } else {
        // A stored arrangement none of the buttons stands for checks none of them.
        c.arrangementGroup->setExclusive(false);
        for (QRadioButton* radio : c.arrangement)
            radio->setChecked(false);
        c.arrangementGroup->setExclusive(true);
    }
    for (QRadioButton* radio : c.arrangement)
        radio->setEnabled(dates);
}

void CPreferencesDlg::PutStr(const char* key, const std::string& value)
{
    if (!m_prefs.PutPrefStr(kProfileSection, key, value))
        ComplainCantWrite();
}

void CPreferencesDlg::PutInt(const char* key, int value)
{
    if (!m_prefs.PutPrefInt(kProfileSection, key, value))
        ComplainCantWrite();
}

void CPreferencesDlg::ComplainCantWrite()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Oakvane"),
                    QStringLiteral("Can't write profile string"), QMessageBox::Ok, this);
    box.exec();
}

// Only a changed text is stored: the edit also loses the focus when a refresh hides it or a
// message box appears, and that is no edit.
void CPreferencesDlg::StoreNameText(int field)
{
    if (m_storingText)
        return;
    const std::string text = m_controls->nameText[field]->text().toStdString();
    if (text == (m_prefs.*kNameTextGetters[field])())
        return;
    m_storingText = true;
    PutStr(kNameTextKeys[field], text);
    RefreshControls();
    m_storingText = false;
}

void CPreferencesDlg::StoreReportFolder()
{
    if (m_storingText)
        return;
    const std::string folder = m_controls->reportFolder->text().toStdString();
    if (folder == m_prefs.GetReportFolder())
        return;
    m_storingText = true;
    PutStr("ReportFolder", folder);
    RefreshControls();
    m_storingText = false;
}

void CPreferencesDlg::StorePendingEdits()
{
    for (int i = 0; i < 4; ++i)
        StoreNameText(i);
    StoreReportFolder();
}

// A list without a selection (the stored format has a letter the lists do not know there, or is
// too short to reach that field) keeps the stored letter, so that changing one field does not
// change another the user did not touch; a field the stored format does not reach stays empty.
std::string CPreferencesDlg::NameFmtFromLists() const
{
    const std::string stored = m_prefs.GetNameFmt();
    std::string format;
    for (std::size_t i = 0; i < 4; ++i) {
        const int index = m_controls->nameFmt[i]->currentIndex();
        if (index >= 0 && index < static_cast<int>(sizeof kCodes - 1))
            format += kCodes[index];
        else
            format += i < stored.size() ? stored[i] : 'E';
    }
    return format;
}

void CPreferencesDlg::OnNameFmt()
{
    PutStr("NameFmt", NameFmtFromLists());
    RefreshControls();
}

void CPreferencesDlg::OnPreview(int index)
{
    PutStr("Preview", index == 1 || index == 2 ? kPreviews[index] : kPreviews[0]);
    RefreshControls();
}

void CPreferencesDlg::OnArrangement(int arrangement)
{
    PutInt("Arrangement", arrangement);
    RefreshControls();
}

void CPreferencesDlg::OnChooseCard()
{
    // Cancelling is how the user goes back to choosing the card at every start.
    const QString start = picker_start(m_prefs.GetCardFolder(), PickerFor::Card);
    PutStr("CardFolder", BrowseForFolder(this, tr("Choose card"), start).value_or("[user choice]"));
    RefreshControls();
}

void CPreferencesDlg::OnChooseFolder(const char* key, const char* title, const std::string& current)
{
    const std::optional<std::string> folder =
        BrowseForFolder(this, tr(title), picker_start(current, PickerFor::Folder));
    if (!folder)
        return;
    PutStr(key, *folder);
    RefreshControls();
}

void CPreferencesDlg::OnChooseViewer()
{
    // Cancelling is how the user says that no viewer is to be started.
    PutStr("ViewerApp", ChooseProgram(this, tr("Choose viewer"), QLatin1String(kProgramFilter))
                            .value_or("[none]"));
    RefreshControls();
}

void CPreferencesDlg::OnChooseConverter()
{
    const std::optional<std::string> program =
        ChooseProgram(this, tr("Choose converter"), QLatin1String(kProgramFilter));
    if (!program)
        return;
    PutStr("ConverterApp", *program);
    RefreshControls();
}

void CPreferencesDlg::OnPrefSetChange(int index)
{
    Controls& c = *m_controls;
    if (index < 0 || index >= static_cast<int>(c.setEntries.size()))
        return;
    const std::string entry = c.setEntries[index];
    // The list keeps showing the current set while the command runs; the model's answer
    // (on_preferences_switched) selects the set that is current afterwards.
    c.prefSets->setCurrentIndex(SelectPrefSetEntry(c.setEntries, m_prefs.GetPrefSetCurrent()));
    m_prefs.OnPrefSetChange(entry);
}

}  // namespace oakvane
