#pragma once

#include <QWidget>

#include <vector>

class CZelGraph;

namespace dsp {

// The numbers of a frequency plot, drawn on the plot's glass: frequency marks
// of the logarithmic axis along the top ("100", "1k", "10k") and level marks
// along the left ("+10 dB"). A child of the graph and as large as it, which
// the mouse passes through; it takes the graph's font. UI thread only.
class PlotScale : public QWidget {
    Q_OBJECT
public:
    PlotScale(CZelGraph& graph, std::vector<double> frequencies, std::vector<double> levels);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    CZelGraph& graph_;
    std::vector<double> frequencies_;
    std::vector<double> levels_;
};

}  // namespace dsp
