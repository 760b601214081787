#include "lister/ListerPage.h"

#include "dorvane/FileIo.h"
#include "folders/Choixrecoldir.h"
#include "dorvane/Dorvanectrl.h"
#include "lister/Lister.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tunora {

namespace {
// Captions of buttons and frames show a language text's "&" as it stands.
QString caption(int n)
{
    return LanguageText(n).replace('&', QLatin1String("&&"));
}
} // namespace

ListerPage::ListerPage(QWidget* parent) : Page(parent)
{
    auto* layout = new QVBoxLayout(this);

    auto folderRow = [this](QGroupBox*& frame, const char* frameName, QLineEdit*& text, const char* textName,
                            QPushButton*& button, const char* buttonName) {
        frame = new QGroupBox(this);
        frame->setObjectName(frameName);
        auto* row = new QHBoxLayout(frame);
        text = new QLineEdit(frame);
        text->setObjectName(textName);
        button = new QPushButton(frame);
        button->setObjectName(buttonName);
        row->addWidget(text, 1);
        row->addWidget(button);
        return frame;
    };
    layout->addWidget(folderRow(m_inputFrame, "input_frm", m_input, "lister_input_txt", m_inputBtn, "input_btn"));
    layout->addWidget(
        folderRow(m_outputFrame, "output_frm", m_output, "lister_output_txt", m_outputBtn, "output_btn"));

    auto* nameRow = new QHBoxLayout;
    m_fileNameLbl = new QLabel(this);
    m_fileNameLbl->setObjectName("ficname_lbl");
    m_fileName = new QLineEdit(this);
    m_fileName->setObjectName("ficname_txt");
    m_fileName->installEventFilter(this);
    nameRow->addWidget(m_fileNameLbl);
    nameRow->addWidget(m_fileName, 1);
    layout->addLayout(nameRow);

    auto* middle = new QHBoxLayout;
    m_settingsFrame = new QGroupBox(this);
    m_settingsFrame->setObjectName("settings_frm");
    auto* settings = new QVBoxLayout(m_settingsFrame);
    m_formats = new QListWidget(m_settingsFrame);
    m_formats->setObjectName("ext_lst");
    m_recurse = new QCheckBox(m_settingsFrame);
    m_recurse->setObjectName("recurse_chk");
    settings->addWidget(m_formats, 1);
    settings->addWidget(m_recurse);
    middle->addWidget(m_settingsFrame);

    m_patternFrame = new QGroupBox(this);
    m_patternFrame->setObjectName("pattern_frm");
    auto* pattern = new QGridLayout(m_patternFrame);
    m_patternLbl = new QLabel(m_patternFrame);
    m_patternLbl->setObjectName("pattern_lbl");
    m_pattern = new QComboBox(m_patternFrame);
    m_pattern->setObjectName("pattern_txt");
    m_pattern->setEditable(true);
    m_pattern->setInsertPolicy(QComboBox::NoInsert);
    m_help = new QLabel(m_patternFrame);
    m_help->setObjectName("pathlp_lbl");
    m_sample = new QLabel(m_patternFrame);
    m_sample->setObjectName("sample_lbl");
    m_sample->setTextFormat(Qt::PlainText);
    m_help->setTextFormat(Qt::PlainText);
    pattern->addWidget(m_patternLbl, 0, 0);
    pattern->addWidget(m_pattern, 0, 1);
    pattern->addWidget(m_help, 1, 0, 1, 2);
    pattern->addWidget(m_sample, 2, 0, 1, 2);
    pattern->setRowStretch(3, 1);
    middle->addWidget(m_patternFrame, 1);
    layout->addLayout(middle, 1);

    m_go = new QPushButton(this);
    m_go->setObjectName("lister_go_btn");
    layout->addWidget(m_go, 0, Qt::AlignRight);

    connect(m_inputBtn, &QPushButton::clicked, this, &ListerPage::chooseInputFolder);
    connect(m_outputBtn, &QPushButton::clicked, this, &ListerPage::chooseOutputFolder);
    connect(m_pattern, &QComboBox::editTextChanged, this, &ListerPage::preview);
    connect(m_pattern, &QComboBox::activated, this, &ListerPage::preview);
    connect(m_go, &QPushButton::clicked, this, [this] { list(); });
}

void ListerPage::prepare()
{
    m_formats->clear();
    for (const QString& f : ListerFormats()) {
        auto* item = new QListWidgetItem(f, m_formats);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(f == QLatin1String("MP3") ? Qt::Checked : Qt::Unchecked);
    }
    m_recurse->setChecked(false);
    m_pattern->clear();
    m_pattern->addItems(ListerPatterns());
    buildHelp();
    m_pattern->setEditText(ListerStartPattern(ListerPatternSetting()));
    preview();
}

void ListerPage::transme()
{
    m_inputFrame->setTitle(caption(104));
    m_inputBtn->setText(caption(6));
    m_outputFrame->setTitle(caption(105));
    m_outputBtn->setText(caption(6));
    m_fileNameLbl->setText(LanguageText(117));
    m_settingsFrame->setTitle(caption(4));
    m_recurse->setText(caption(103));
    m_patternLbl->setText(LanguageText(107));
    m_patternFrame->setTitle(caption(106));
    m_go->setText(caption(97));
    buildHelp();
    preview();
}

void ListerPage::buildHelp()
{
    QString help;
    for (int i = 0; i < 5; ++i)
        help += QStringLiteral("%%1 : ").arg(i + 1) + LanguageText(109 + i) + QLatin1String("\r\n");
    m_help->setText(help);
}

void ListerPage::preview()
{
    m_sample->setText(LanguageText(108) + ' ' + ListerSample(m_pattern->currentText()));
}

void ListerPage::chooseInputFolder()
{
    QString folder;
    if (!ChooseFolder(window(), ChooserMode::ListerInput, &folder))
        return;
    if (folder.isEmpty())
        folder = QStringLiteral("/"); // the root, which the chooser hands over as ""
    m_input->setText(folder);
    // A new listing is named after the folder it lists.
    const int slash = folder.lastIndexOf('/');
    if (m_fileName->text().isEmpty() && slash >= 0)
        m_fileName->setText(folder.mid(slash + 1));
}

void ListerPage::chooseOutputFolder()
{
    QString folder;
    if (ChooseFolder(window(), ChooserMode::ListerOutput, &folder))
        m_output->setText(folder.isEmpty() ? QStringLiteral("/") : folder);
}

QStringList ListerPage::selectedFormats() const
{
    QStringList selected;
    for (int i = 0; i < m_formats->count(); ++i)
        if (m_formats->item(i)->checkState() == Qt::Checked)
            selected << m_formats->item(i)->text();
    return selected;
}

bool ListerPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_fileName && event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        // Characters a file name cannot hold, and the space, are refused as they are typed.
        if (!typed.isEmpty() && typed.at(0).isPrint() &&
            std::none_of(typed.begin(), typed.end(), [](QChar c) { return c != ' ' && IsFileNameCharacter(c); }))
            return true;
    }
    return Page::eventFilter(watched, event);
}

void ListerPage::finish()
{
    m_go->setEnabled(true);
    SetBusy(false);
}

bool ListerPage::list()
{
    SetBusy(true);
    m_go->setEnabled(false);

    m_input->setText(m_input->text().trimmed());
    m_output->setText(m_output->text().trimmed());
    m_fileName->setText(CleanFileName(m_fileName->text()).trimmed());
    const QString input = m_input->text();
    const QString output = m_output->text();
    if (input.isEmpty() || !dorvane::io::IsFolder(input) || output.isEmpty() || !dorvane::io::IsFolder(output) ||
        m_fileName->text().isEmpty()) {
        ShowMessage(LanguageText(114));
        finish();
        return false;
    }
    m_fileName->setText(ListingFileName(m_fileName->text()));
    const QStringList formats = selectedFormats();
    if (formats.isEmpty()) {
        ShowMessage(LanguageText(115));
        finish();
        return false;
    }

    const QString path = JoinFolder(output, m_fileName->text());
    const QString pattern = m_pattern->currentText();
    SetCancelRequested(false);
    // Once a folder the status line shows the file listed last and the window stays live.
    const ListingResult result = BuildListing(input, pattern, formats, m_recurse->isChecked(), [](const QString& name) {
        if (!name.isEmpty())
            SetStatusText(name);
        YieldEvents();
        return !CancelRequested();
    });
    if (result.cancelled) {
        // Nothing was written: a listing already at that path stays as it was.
        ReportCancelled();
        finish();
        return false;
    }

    QString error;
    if (!WriteFileAtomically(path, result.bytes, &error)) {
        SetStatusText(QString());
        ShowMessage(QStringLiteral("The listing could not be written to \"%1\": %2").arg(path, error));
        finish();
        return false;
    }
    QString command = path;
    // The listing opens over the window the page sits in.
    toolctl().DefautExec(static_cast<qint32>(window()->winId()), command);
    SetListerPatternSetting(pattern);
    SetStatusText(QString());
    finish();
    return true;
}

} // namespace tunora
