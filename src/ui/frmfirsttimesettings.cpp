#include "ui/frmfirsttimesettings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "base/translation.h"
#include "core/program.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/qtplatform.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmFirstTimeSettings";

}  // namespace

frmFirstTimeSettings::frmFirstTimeSettings(Program& program, QWidget* parent)
    : QDialog(parent), p_(program) {
    setObjectName(QStringLiteral("frmFirstTimeSettings"));
    setWindowTitle(QStringLiteral("Welcome to Quorvane"));

    lblExplanation_ = new QLabel(this);
    lblExplanation_->setObjectName(QStringLiteral("lblExplanation"));
    lblExplanation_->setWordWrap(true);
    lblExplanation_->setText(
        QStringLiteral("Please choose your language and how dates and times are shown."));
    cmbLanguage_ = new QComboBox(this);
    cmbLanguage_->setObjectName(QStringLiteral("cmbLanguage"));
    cmbDateFormat_ = new QComboBox(this);
    cmbDateFormat_->setObjectName(QStringLiteral("cmbDateFormat"));
    cmbTimeFormat_ = new QComboBox(this);
    cmbTimeFormat_->setObjectName(QStringLiteral("cmbTimeFormat"));
    cmdOk_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOk_->setObjectName(QStringLiteral("cmdOk"));
    cmdOk_->setDefault(true);

    auto* lblLanguage = new QLabel(QStringLiteral("Language:"), this);
    lblLanguage->setObjectName(QStringLiteral("lblLanguage"));
    auto* lblDateFormat = new QLabel(QStringLiteral("Date order:"), this);
    lblDateFormat->setObjectName(QStringLiteral("lblDateFormat"));
    auto* lblTimeFormat = new QLabel(QStringLiteral("Time format:"), this);
    lblTimeFormat->setObjectName(QStringLiteral("lblTimeFormat"));

    auto* form = new QFormLayout;
    form->addRow(lblLanguage, cmbLanguage_);
    form->addRow(lblDateFormat, cmbDateFormat_);
    form->addRow(lblTimeFormat, cmbTimeFormat_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblExplanation_);
    layout->addLayout(form);
    layout->addWidget(cmdOk_, 0, Qt::AlignRight);

    languages_ = modTranslation::availableLanguages(p_.folders);
    std::vector<int> msids;
    for (const std::string& name : languages_) {
        modTranslation t(p_.folders, p_.random);
        t.setLanguage(name);
        msids.push_back(t.languageMsid());
        cmbLanguage_->addItem(qs(name));
    }
    const int chosen = preselect(languages_, msids, languageIdFromLocale(QLocale::system()));
    if (chosen >= 0) {
        cmbLanguage_->setCurrentIndex(chosen);
        p_.translation.setLanguage(languages_[static_cast<std::size_t>(chosen)]);
    }
    connect(cmbLanguage_, &QComboBox::activated, this, &frmFirstTimeSettings::languageChosen);
    connect(cmdOk_, &QPushButton::clicked, this, &QDialog::accept);
    translate();
    cmbDateFormat_->setCurrentIndex(std::clamp<int>(p_.settings.df.da, 0, 3));
    cmbTimeFormat_->setCurrentIndex(p_.settings.df.ti == 1 ? 1 : 0);
}

int frmFirstTimeSettings::preselect(const std::vector<std::string>& names,
                                    const std::vector<int>& msids, int systemId) {
    if (names.empty()) return -1;
    if (systemId != -1)
        for (std::size_t i = 0; i < names.size() && i < msids.size(); ++i)
            if (msids[i] == systemId) return static_cast<int>(i);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == "English") return static_cast<int>(i);
    return 0;
}

void frmFirstTimeSettings::languageChosen(int index) {
    if (index < 0 || index >= static_cast<int>(languages_.size())) return;
    p_.translation.setLanguage(languages_[static_cast<std::size_t>(index)]);
    translate();
}

void frmFirstTimeSettings::translate() {
    translateForm(this, p_.translation);
    if (languages_.empty()) {
        // Without a language file there is nothing to translate this with.
        lblExplanation_->setText(QStringLiteral(
            "No language file was found. You need a language file to use the program."));
        cmdOk_->setEnabled(false);
    }
    auto refill = [&](QComboBox* box, int first, int count) {
        const int keep = box->currentIndex();
        const QSignalBlocker block(box);
        box->clear();
        for (int i = 0; i < count; ++i)
            box->addItem(qs(p_.translation.getText(kSection, first + i)));
        box->setCurrentIndex(keep < 0 ? 0 : keep);
    };
    refill(cmbDateFormat_, 1, 4);
    refill(cmbTimeFormat_, 11, 2);
    widenForTitle(this);
}

std::string frmFirstTimeSettings::chosenLanguage() const {
    const int i = cmbLanguage_->currentIndex();
    if (i < 0 || i >= static_cast<int>(languages_.size())) return {};
    return languages_[static_cast<std::size_t>(i)];
}

DisplayFormats frmFirstTimeSettings::formatsFor(int dateOrder, int timeFormat) {
    static const char* const kList[4] = {"ddd dd/mm/yyyy hh:nn:ss", "ddd mm/dd/yyyy hh:nn:ss",
                                         "ddd yyyy/mm/dd hh:nn:ss", "ddd yyyy/dd/mm hh:nn:ss"};
    // The next-alarm line names the whole weekday, its digits as in the lists.
    static const char* const kNext[4] = {"dddd dd/mm/yyyy hh:nn:ss", "dddd mm/dd/yyyy hh:nn:ss",
                                         "dddd yyyy/mm/dd hh:nn:ss", "dddd yyyy/dd/mm hh:nn:ss"};
    static const char* const kOther[4] = {"dd/mm/yyyy hh:nn:ss", "mm/dd/yyyy hh:nn:ss",
                                          "yyyy/mm/dd hh:nn:ss", "yyyy/dd/mm hh:nn:ss"};
    const int d = std::clamp(dateOrder, 0, 3);
    const std::string suffix = timeFormat == 1 ? " AM/PM" : "";
    DisplayFormats f;
    f.da = static_cast<std::int16_t>(d);
    f.ti = static_cast<std::int16_t>(timeFormat == 1 ? 1 : 0);
    f.al = kList[d] + suffix;
    f.sa = kList[d] + suffix;
    f.na = kNext[d] + suffix;
    f.ot = kOther[d] + suffix;
    return f;
}

void frmFirstTimeSettings::applyTo(SettingsValues& s) const {
    const std::string lng = chosenLanguage();
    if (!lng.empty()) s.lng = lng;
    const DisplayFormats f =
        formatsFor(cmbDateFormat_->currentIndex(), cmbTimeFormat_->currentIndex());
    s.df.da = f.da;
    s.df.ti = f.ti;
    s.df.al = f.al;
    s.df.sa = f.sa;
    s.df.na = f.na;
    s.df.ot = f.ot;
}

}  // namespace qv
