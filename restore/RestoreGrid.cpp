#include "RestoreGrid.h"

#include "HtGrids.h"

void setupRestoreGrid(THtStringGrid* grid) {
    grid->setLineColor(clScrollBar);
    grid->setReverseLineColor(clScrollBar);
    grid->setHighLightBackColor(clWindow);
    grid->setHighLightTextColor(clWindowText);
    grid->setColCount(2);
    grid->setRowCount(2);
    grid->setFixedCols(0);
    grid->setFixedRows(1);
    grid->setDefaultRowHeight(18);
    grid->setColWidths(0, 154);
    grid->setColWidths(1, 235);
    grid->setOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect | goEditing |
                     goAlwaysShowEditor);
    grid->setHCol({QStringLiteral("逻辑文件名"), QStringLiteral("移至物理文件名")});
    grid->setGrid3D(false);
    grid->Loaded();
}
