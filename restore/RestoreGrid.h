#pragma once

class THtStringGrid;

// The restore page's file grid: logical name and target path of each database file, only the
// target column editable, the editor always open on the current cell.
void setupRestoreGrid(THtStringGrid* grid);
