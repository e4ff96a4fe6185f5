#pragma once
#include "SumChart.h"

#include <QWidget>

class QChart;
class QChartView;
class QPushButton;

// The bar chart of a summary window's last result, in a window of its own
// beside it. The summary window hands it each new result while it is open.
class frmSumChart : public QWidget {
    Q_OBJECT
public:
    explicit frmSumChart(QWidget* owner);

    // Shows `data` in place of what was shown.
    void ShowChart(const SumChartData& data);
    // "画像として保存": the chart as a PNG file the user names.
    void cmdSaveImage_Click();
    // The chart as PNG bytes, as large as it is shown.
    QByteArray pngBytes() const;

    const SumChartData& data() const { return mData; }
    QChart* chart() const;

private:
    QChartView* mView;
    QPushButton* cmdSaveImage;
    SumChartData mData;
};
