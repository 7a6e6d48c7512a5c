// The found-FOURCC dialog: the FOURCCs a scan proved for a driver file,
// from which the user adds chosen ones to the codec window's inactive list.
// It never writes the store; the scan saves both lists once it has closed.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QFrame>
#include <QPushButton>
#include <QTreeView>
#include <vector>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"
#include "core/scan/FourccScan.h"
#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfMain;

// The found rows and how Qt sees them. The model holds the rows, so that
// the view never outlives what it shows.
class TFoundListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TFoundListModel(QObject* parent);
    std::vector<TFoundRow>& Rows() { return rows_; }
    const std::vector<TFoundRow>& Rows() const { return rows_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The rows were replaced.
    void Reset();
    // Texts of the rows changed; the rows and their selection stay.
    void RowsChanged();
    // A row's text colour; the list's own when invalid.
    std::function<QColor(size_t row)> RowColour;

private:
    std::vector<TFoundRow> rows_;
};

class TfFound : public QDialog {
    Q_OBJECT
public:
    // `inactive` is the codec window's inactive list, which the add button
    // appends to. Centred on the main window; frees itself when closed.
    TfFound(TfMain& main, TCodecList& inactive);
    ~TfFound() override;

    // Empties FoundList and shows `rows`, none selected.
    void SetRows(std::vector<TFoundRow> rows);
    const std::vector<TFoundRow>& Rows() const { return FoundListModel->Rows(); }

    // Components.
    THeaderBand* Panel1;  // banner
    QFrame* Panel2;       // the list's panel
    QTreeView* FoundList;
    TFoundListModel* FoundListModel;
    QFrame* Panel4;  // spacer under the list
    QFrame* Panel3;  // the buttons' panel
    QPushButton* AddFourccButton;
    QPushButton* ExitButton;

    // Handlers.
    QColor FoundListCustomDrawItem(size_t row) const;
    void FoundListSelectItem();
    void AddFourccButtonClick();
    void ExitButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TfMain& main_;
    TCodecList& inactive_;
};

}  // namespace tarnel
