#include "frmSumChart.h"
#include "Dialogs.h"
#include "ExportFile.h"
#include "Guarded.h"
#include "ScreenFit.h"
#include "UiFont.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QVBoxLayout>

namespace {
const QString SaveCaption = QStringLiteral("画像として保存");
}

frmSumChart::frmSumChart(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmSumChart"));
    setFont(uiFont());
    setWindowTitle(QStringLiteral("集計のグラフ"));
    mView = new QChartView(new QChart, this);
    mView->setObjectName(QStringLiteral("chartView"));
    mView->setRenderHint(QPainter::Antialiasing);
    cmdSaveImage = new QPushButton(SaveCaption, this);
    cmdSaveImage->setObjectName(QStringLiteral("cmdSaveImage"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSaveImage);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(mView, 1);
    lay->addLayout(buttons);
    connect(cmdSaveImage, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdSaveImage_Click(); }); });
    resize(900, 560);
    fitOnShow(this);
}

QChart* frmSumChart::chart() const {
    return mView->chart();
}

void frmSumChart::ShowChart(const SumChartData& d) {
    mData = d;
    QChart* chart = mView->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* a : chart->axes())
        chart->removeAxis(a), delete a;
    chart->setTitle(d.title);
    chart->setTitleFont(uiFont(11));
    chart->setAnimationOptions(QChart::NoAnimation);

    QAbstractBarSeries* series = d.stacked ? static_cast<QAbstractBarSeries*>(new QStackedBarSeries)
                                           : static_cast<QAbstractBarSeries*>(new QBarSeries);
    for (const SumChartData::Series& s : d.series) {
        auto* set = new QBarSet(s.name);
        set->append(s.values);
        series->append(set);
    }
    if (!d.stacked) series->setBarWidth(0.7);
    chart->addSeries(series);

    auto* x = new QBarCategoryAxis;
    x->append(d.categories);
    // Many labels stand on end, so that each keeps its own room; too many
    // for any room are left to the bars' tool tips.
    const qsizetype n = d.categories.size();
    x->setLabelsAngle(n > 12 ? -90 : 0);
    x->setTruncateLabels(n <= 12);
    x->setLabelsVisible(n <= 60);
    x->setLabelsFont(uiFont(n > 30 ? 8 : 9));
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    connect(series, &QAbstractBarSeries::hovered, this, [this](bool on, int index, QBarSet* set) {
        if (!on || index < 0 || index >= mData.categories.size()) {
            QToolTip::hideText();
            return;
        }
        QString tip = mData.categories[index];
        if (mData.stacked) tip += QStringLiteral("\n") + set->label();
        QToolTip::showText(QCursor::pos(),
                           tip + QStringLiteral("\n") + valueLabel(set->at(index), mData.yen),
                           mView);
    });

    // the totals: round steps, grouped digits, in yen where they are amounts
    auto* y = new QCategoryAxis;
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const QList<double> ticks = yenTicks(d.low, d.high);
    y->setStartValue(ticks.first());
    for (double t : ticks)
        y->append(valueLabel(t, d.yen), t);
    y->setTitleText(d.valueName);
    y->setTitleFont(uiFont(9));
    y->setRange(ticks.first(), ticks.last());
    y->setLabelsFont(uiFont(9));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);

    chart->legend()->setVisible(d.stacked);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setFont(uiFont(9));
    cmdSaveImage->setEnabled(d.shownRows > 0);
}

QByteArray frmSumChart::pngBytes() const {
    const QImage image = mView->grab().toImage();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {};
    return bytes;
}

void frmSumChart::cmdSaveImage_Click() {
    const auto path = askExportPath(this, SaveCaption, mData.name, QStringLiteral(".png"),
                                    QStringLiteral("PNG画像 (*.png)"));
    if (!path) return;
    const QByteArray png = pngBytes();
    if (png.isEmpty()) {
        dialogs().message(this, QStringLiteral("グラフを画像にできませんでした。"), SaveCaption,
                          Dialogs::Icon::Warning);
        return;
    }
    writeExportFile(this, SaveCaption, QStringLiteral("画像ファイル"), *path, png);
}
