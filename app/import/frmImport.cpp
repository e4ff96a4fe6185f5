#include "frmImport.h"
#include "ImportValues.h"
#include "Dialogs.h"
#include "Guarded.h"
#include "ScreenFit.h"
#include "UiFont.h"
#include "WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
using Part = ColumnSource::Part;
int code(const ColumnSource& s) {
    return s.field < 0 ? -1 : s.field * 4 + int(s.part);
}
ColumnSource source(int code) {
    if (code < 0) return {};
    return {code / 4, Part(code % 4)};
}
} // namespace

frmImport::frmImport(QWidget* parent, Table table, QByteArray bytes, const QString& fileName)
    : QWidget(parent, Qt::Window), mTable(std::move(table)), mBytes(std::move(bytes)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("CSVから取り込み（%1）").arg(fileName));
    fitOnShow(this);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    setFont(uiFont(10));
    auto* lay = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    cmbEncoding = new QComboBox(this);
    cmbEncoding->addItem(QStringLiteral("UTF-8"), CsvReader::Utf8);
    cmbEncoding->addItem(QStringLiteral("Shift-JIS (CP932)"), CsvReader::Cp932);
    cmbSeparator = new QComboBox(this);
    cmbSeparator->addItem(QStringLiteral("カンマ"), QStringLiteral(","));
    cmbSeparator->addItem(QStringLiteral("タブ"), QStringLiteral("\t"));
    spnSkip = new QSpinBox(this);
    spnSkip->setRange(0, 1000);
    chkHeader = new QCheckBox(QStringLiteral("最初の行は項目名"), this);
    form->addRow(QStringLiteral("文字コード(&E)："), cmbEncoding);
    form->addRow(QStringLiteral("区切り(&P)："), cmbSeparator);
    form->addRow(QStringLiteral("読み飛ばす行数(&K)："), spnSkip);
    form->addRow(QString(), chkHeader);
    lay->addLayout(form);

    auto* map = new QFormLayout;
    for (const ImportColumn& c : mTable.columns) {
        auto* cmb = new QComboBox(this);
        cmb->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        map->addRow(c.jpName + QStringLiteral("："), cmb);
        cmbFields << cmb;
    }
    auto* mapBox = new QWidget(this);
    mapBox->setLayout(map);
    lay->addWidget(new QLabel(QStringLiteral("各項目に入れるファイルの列："), this));
    lay->addWidget(mapBox);

    grdPreview = new QTableWidget(this);
    grdPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lay->addWidget(grdPreview, 1);
    lblStatus = new QLabel(this);
    lblStatus->setWordWrap(true);
    lay->addWidget(lblStatus);
    auto* buttons = new QHBoxLayout;
    cmdImport = new QPushButton(QStringLiteral("取り込む"), this);
    cmdCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cmdImport->setDefault(true);
    cmdCancel->setAutoDefault(true);
    buttons->addStretch();
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdCancel);
    lay->addLayout(buttons);

    // the settings found from the file, or those last used for such files
    mFile = CsvReader::read(mBytes);
    int fields = 0;
    for (const QStringList& r : mFile.records)
        fields = std::max(fields, int(r.size()));
    ImportSettings s = ImportPlan::guess(mFile, mTable.columns);
    if (const auto kept = ImportSettingsStore::load(mTable.iniPath, mTable.tableNum, fields,
                                                    int(mTable.columns.size())))
        s = *kept;
    mFilling = true;
    cmbEncoding->setCurrentIndex(cmbEncoding->findData(s.encoding));
    cmbSeparator->setCurrentIndex(cmbSeparator->findData(QString(s.separator)));
    spnSkip->setValue(s.skip);
    chkHeader->setChecked(s.header);
    mFilling = false;
    readFile();
    for (int c = 0; c < cmbFields.size(); ++c) {
        const int i = cmbFields[c]->findData(code(s.sources.value(c)));
        cmbFields[c]->setCurrentIndex(std::max(0, i));
    }
    replan();

    auto changed = [this] { guarded(this, [this] { readFile(), replan(); }); };
    connect(cmbEncoding, &QComboBox::currentIndexChanged, this, changed);
    connect(cmbSeparator, &QComboBox::currentIndexChanged, this, changed);
    connect(spnSkip, &QSpinBox::valueChanged, this, changed);
    connect(chkHeader, &QCheckBox::toggled, this, changed);
    for (QComboBox* cmb : cmbFields)
        connect(cmb, &QComboBox::currentIndexChanged, this,
                [this] { guarded(this, [this] { replan(); }); });
    connect(grdPreview, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (mFilling || item->column() != 0) return;
        const int line = item->data(Qt::UserRole).toInt();
        const bool on = item->checkState() == Qt::Checked;
        (on ? mTicked : mUnticked).insert(line);
        (on ? mUnticked : mTicked).remove(line);
        guarded(this, [this] { replan(); });
    });
    connect(cmdImport, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { importRows(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    resize(760, 620);
}

void frmImport::readFile() {
    if (mFilling) return;
    WaitCursor wait;
    mFile = CsvReader::read(mBytes, cmbEncoding->currentData().toString(),
                            cmbSeparator->currentData().toString().at(0));
    mTicked.clear();
    mUnticked.clear();
    fillFieldChoices();
}

void frmImport::fillFieldChoices() {
    const ImportSettings s = current();
    const QStringList names = ImportPlan::fieldNames(mFile, s);
    // the fields whose first value is a date can fill a year, a month and a day
    QSet<int> dates;
    const QStringList sample = mFile.records.value(s.skip + (s.header ? 1 : 0));
    for (int f = 0; f < sample.size(); ++f)
        if (ImportValues::date(sample[f])) dates.insert(f);
    mFilling = true;
    for (QComboBox* cmb : cmbFields) {
        const QVariant was = cmb->currentData();
        cmb->clear();
        cmb->addItem(QStringLiteral("（なし）"), -1);
        for (int f = 0; f < names.size(); ++f) {
            cmb->addItem(names[f], code({f, Part::Whole}));
            if (!dates.contains(f)) continue;
            cmb->addItem(names[f] + QStringLiteral("（年）"), code({f, Part::Year}));
            cmb->addItem(names[f] + QStringLiteral("（月）"), code({f, Part::Month}));
            cmb->addItem(names[f] + QStringLiteral("（日）"), code({f, Part::Day}));
        }
        cmb->setCurrentIndex(std::max(0, cmb->findData(was)));
    }
    mFilling = false;
}

ImportSettings frmImport::current() const {
    ImportSettings s;
    s.encoding = cmbEncoding->currentData().toString();
    s.separator = cmbSeparator->currentData().toString().at(0);
    s.skip = spnSkip->value();
    s.header = chkHeader->isChecked();
    for (QComboBox* cmb : cmbFields)
        s.sources << source(cmb->currentData().isValid() ? cmb->currentData().toInt() : -1);
    return s;
}

void frmImport::replan() {
    if (mFilling) return;
    WaitCursor wait;
    const ImportSettings s = current();
    QSet<QString> present;
    if (mTable.gridRows)
        for (const QStringList& r : mTable.gridRows())
            present.insert(ImportPlan::keyOf(r, s));
    mRows = mFile.error.isEmpty() ? ImportPlan::rows(mFile, s, mTable.columns, present)
                                  : QList<PlannedRow>();
    for (PlannedRow& r : mRows) {
        if (mTicked.contains(r.line)) r.chosen = true;
        if (mUnticked.contains(r.line)) r.chosen = false;
    }
    showPreview();
}

void frmImport::showPreview() {
    mFilling = true;
    const int shown = int(std::min<qsizetype>(mRows.size(), PreviewRows));
    grdPreview->clear();
    grdPreview->setRowCount(shown);
    grdPreview->setColumnCount(int(mTable.columns.size()) + 1);
    QStringList heads{QStringLiteral("取り込む")};
    for (const ImportColumn& c : mTable.columns)
        heads << c.jpName;
    grdPreview->setHorizontalHeaderLabels(heads);
    int chosen = 0, present = 0, unreadable = 0;
    for (const PlannedRow& r : mRows) {
        chosen += r.chosen;
        present += r.present;
        unreadable += !r.problem.isEmpty();
    }
    for (int i = 0; i < shown; ++i) {
        const PlannedRow& r = mRows[i];
        auto* tick = new QTableWidgetItem(r.present   ? QStringLiteral("既にある")
                                          : !r.problem.isEmpty() ? QStringLiteral("読めない")
                                                                 : QString());
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        tick->setCheckState(r.chosen ? Qt::Checked : Qt::Unchecked);
        tick->setData(Qt::UserRole, r.line);
        tick->setToolTip(r.problem);
        grdPreview->setItem(i, 0, tick);
        const QList<int> refused = mTable.check ? mTable.check(r.texts) : QList<int>();
        for (int c = 0; c < r.texts.size(); ++c) {
            auto* item = new QTableWidgetItem(r.texts[c]);
            if (r.bad.contains(c)) item->setBackground(QColor(255, 150, 150));
            else if (refused.contains(c)) item->setBackground(QColor(255, 215, 215));
            if (r.present) item->setForeground(Qt::gray);
            grdPreview->setItem(i, c + 1, item);
        }
    }
    grdPreview->resizeColumnsToContents();
    mFilling = false;
    if (!mFile.error.isEmpty()) {
        lblStatus->setText(mFile.error);
    } else {
        QString text = QStringLiteral("%1 行のうち %2 行を取り込みます。").arg(mRows.size()).arg(chosen);
        if (present) text += QStringLiteral("表に既にある行：%1。").arg(present);
        if (unreadable) text += QStringLiteral("読めない値のある行：%1（赤い欄）。").arg(unreadable);
        if (mRows.size() > shown) text += QStringLiteral("表示は最初の %1 行です。").arg(shown);
        lblStatus->setText(text);
    }
    cmdImport->setEnabled(chosen > 0);
}

QList<QStringList> frmImport::chosenRows() const {
    QList<QStringList> out;
    for (const PlannedRow& r : mRows)
        if (r.chosen) out << r.texts;
    return out;
}

void frmImport::importRows() {
    const QList<QStringList> rows = chosenRows();
    if (rows.isEmpty()) return;
    int fields = 0;
    for (const QStringList& r : mFile.records)
        fields = std::max(fields, int(r.size()));
    const QString error =
        ImportSettingsStore::save(mTable.iniPath, mTable.tableNum, fields, current());
    if (!error.isEmpty()) msgBox(this, error);
    emit imported(rows);
    close();
}
