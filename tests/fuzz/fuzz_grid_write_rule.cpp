// The grid's write rule with its format codes: the first line of the input is the column's code,
// the rest the text written.
#include "HtGrids.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static const bool platform = qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    static THtStringGrid grid;
    (void)platform;
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    const QString code = newline < 0 ? input : input.left(newline);
    const QString value = newline < 0 ? QString() : input.mid(newline + 1);
    grid.setColProperty({QString(), code});
    grid.setCellText(1, 1, value);
    const QString stored = grid.CellText(1, 1);
    // Number codes store numbers only; an empty write stays empty.
    if (value.isEmpty() && !stored.isEmpty())
        __builtin_trap();
    return 0;
}
