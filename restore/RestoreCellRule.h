#pragma once
// Which cells of the restore grid may become the current cell: only target paths, never a
// header cell or a logical name.

inline void GridSelectCell(int ACol, int ARow, bool& CanSelect) { CanSelect = ACol != 0 && ARow != 0; }
