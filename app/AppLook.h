#pragma once
// The window's fixed look: texts of its own, colours, fonts and the window icon.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

class QLineEdit;

namespace AppLook {

// Colours are kept as the program's 0x00BBGGRR values.
constexpr quint32 kDarkGreen = 0x004D00;
constexpr quint32 kRed = 0x0000FF;
constexpr quint32 kNavy = 0x800000;
inline QColor toQColor(quint32 bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

// A font by family and character height in pixels.
QFont font(const QString& family, int pixelHeight, bool bold = false, bool underline = false);

// Maps the Windows font names onto installed families. WenQuanYi comes first for "MS Sans Serif"
// too: its Latin letters are narrow enough for the fixed control widths, DejaVu Sans is not.
void installFontSubstitutions();

// Shows each character of a password box as "*"; the style's own mask (often a dot) would not.
void maskWithStars(QLineEdit* edit);

// The window's own 32 x 32 icon: a database drum with a green arrow.
QIcon windowIcon();

// Texts and addresses of the header's link labels.
inline const QString kMakerName = QStringLiteral("开源数据库工具坊");
inline const QString kHomePage = QStringLiteral("https://www.example.org/sqlbackup/");
inline const QString kWebAddressShown = QStringLiteral("www.example.org");
inline const QString kWebAddress = QStringLiteral("https://www.example.org/");
inline const QString kContactLine = QStringLiteral("技术支持与建议: support@example.org");
inline const QString kDownloadNotice = QStringLiteral("最新版本请到 www.example.org/sqlbackup 下载");
inline const QString kTalkText = QStringLiteral("在线咨询");
inline const QString kTalkAddress = QStringLiteral("https://www.example.org/sqlbackup/chat");

} // namespace AppLook
