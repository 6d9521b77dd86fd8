#pragma once
// Every Chinese text the program added after its first version, in one table, so that wording
// stays consistent and later features add theirs here. Placeholders are filled with QString::arg.

#include <QString>

namespace NewTexts {

inline QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The options page.
inline constexpr char OptionsPage[] = "选项";
inline constexpr char EncryptionGroup[] = "连接加密";
inline constexpr char EncryptionLabel[] = "加密方式:";
inline constexpr char EncryptionOptional[] = "可选";
inline constexpr char EncryptionMandatory[] = "强制";
inline constexpr char EncryptionStrict[] = "严格";
inline constexpr char EncryptionOptionalHint[] = "服务器支持时加密，不校验证书";
inline constexpr char EncryptionMandatoryHint[] = "始终加密，并校验服务器证书";
inline constexpr char EncryptionStrictHint[] = "TDS 8.0：先建立加密再登录";
inline constexpr char CertificatesGroup[] = "受信任的服务器证书";
inline constexpr char CertificateServerColumn[] = "服务器";
inline constexpr char CertificateFingerprintColumn[] = "SHA-256 指纹";
inline constexpr char CertificateUnverifiedEntry[] = "(加密但不校验证书)";
inline constexpr char ForgetCertificate[] = "移除(&R)";
inline constexpr char BackupOptionsGroup[] = "备份选项";
inline constexpr char ShowProgress[] = "显示进度";
inline constexpr char VerifyAfterBackup[] = "备份后校验";
inline constexpr char CopyOnly[] = "仅复制备份(COPY_ONLY)";
inline constexpr char Compression[] = "压缩备份(COMPRESSION)";
inline constexpr char RememberedServersGroup[] = "常用服务器";

// The first connection to a server whose certificate nothing vouches for (问题 box).
// %1 server, %2 issuer, %3 subject, %4 valid from, %5 valid until, %6 SHA-256 fingerprint.
inline constexpr char TrustCertificateQuestion[] =
    "服务器 %1 出示的证书不受本机信任。\n\n"
    "颁发者：%2\n使用者：%3\n有效期：%4 至 %5\nSHA-256 指纹：\n%6\n\n"
    "请与服务器管理员核对指纹。是否信任此证书？\n"
    "选择“是”将记住此证书，以后连接该服务器时只接受这一证书；选择“否”将取消连接。";
// When the driver in use cannot hold the connection to one certificate (问题 box). %1 server,
// %2 driver, then the certificate fields as above from %3.
inline constexpr char UnverifiedEncryptionQuestion[] =
    "服务器 %1 出示的证书不受本机信任，而当前驱动 %2 无法只接受指定的证书。\n\n"
    "颁发者：%3\n使用者：%4\n有效期：%5 至 %6\nSHA-256 指纹：\n%7\n\n"
    "是否仍然加密连接，但不校验证书？\n"
    "这样可以防止窃听，但无法发现冒充服务器的中间人。选择“是”将为该服务器记住此选择；选择“否”将取消连接。";

// A server whose certificate differs from the one trusted before (警告 box). %1 server, then the
// new certificate's fields from %2 as in the question.
inline constexpr char CertificateChangedWarning[] =
    "服务器 %1 出示的证书与以前信任的证书不同，连接已取消。\n\n"
    "这可能说明有人正在拦截连接。\n"
    "如果服务器没有配置证书，SQL Server 每次启动都会生成新的自签名证书，"
    "因此服务器最近重启过也是一种无害的解释。\n\n"
    "新证书：\n颁发者：%2\n使用者：%3\n有效期：%4 至 %5\nSHA-256 指纹：\n%6";
// Asked after that warning (问题 box). %1 server.
inline constexpr char TrustChangedCertificateQuestion[] =
    "确认服务器 %1 是合法更换了证书（例如刚刚重启）吗？\n选择“是”将改为信任新证书并重新连接。";

// TLS failures (警告 box). %1 server, %2 what the TLS library reported.
inline constexpr char TlsNotSupported[] =
    "服务器 %1 不支持加密连接。\n\n"
    "若仍要连接，请在“选项”页把加密方式改为“可选”，但口令将以明文发送；更好的办法是在服务器上启用加密。";
inline constexpr char TlsVersionMismatch[] =
    "无法与服务器 %1 建立加密连接：双方没有共同支持的 TLS 版本或加密算法。\n（%2）\n\n"
    "请在服务器上启用 TLS 1.2 或更高版本（较旧的 SQL Server 需要安装更新）。";
inline constexpr char TlsHandshakeBroken[] = "与服务器 %1 的加密握手失败。\n（%2）\n\n"
                                             "请检查服务器的证书配置和网络连接后重试。";
inline constexpr char TlsCertificateRejected[] =
    "服务器 %1 的证书未通过校验，连接已取消。\n（%2）\n\n"
    "请确认服务器证书由受信任的机构签发且与服务器名称相符，或在服务器上配置正确的证书。";

// A setting the driver cannot honour. %1 driver name.
inline constexpr char StrictNotSupported[] = "驱动 %1 不支持“严格”加密（TDS 8.0）。\n\n"
                                             "请在“选项”页改用“强制”加密，或安装 ODBC Driver 18 for SQL Server。";
inline constexpr char PinNotSupported[] = "驱动 %1 在当前加密方式下无法只接受指定的证书。\n\n"
                                          "请在服务器上安装受信任机构签发的证书，或改用 FreeTDS 驱动。";
inline constexpr char UnverifiedNotAllowedInStrict[] =
    "“严格”加密总要校验服务器证书，驱动 %1 不能在不校验证书的情况下连接。\n\n"
    "请在服务器上安装受信任机构签发的证书，或在“选项”页改用“强制”加密。";

// Saving the program's own files.
inline constexpr char SettingsNotWritable[] = "无法保存设置文件 %1。";

// The backup log after a set was read back (备份后校验). %1 database.
inline constexpr char BackupVerified[] = "数据库【%1】备份校验通过，备份集有效!";
inline constexpr char BackupVerifyFailed[] = "数据库【%1】备份校验失败!";
// The file showed no set to read back.
inline constexpr char BackupSetNotFound[] = "备份文件中没有找到备份集。";

// The check before a restore: one summary (问题 box when the user may go on, 警告 box when the
// restore is refused). Lines are joined with newlines; %n as noted.
inline constexpr char CheckSummaryHead[] = "还原前检查发现以下情况：";
inline constexpr char CheckTargetExists[] = "目标数据库【%1】已存在。";
inline constexpr char CheckTargetOverwritten[] = "目标数据库【%1】已存在，其现有数据将被覆盖。";
inline constexpr char CheckTargetNew[] = "目标数据库【%1】不存在，将新建。";
// %1 how many, %2 the sessions, one "会话 <id>（<login>，<host>，<program>）" each, separated by "；".
inline constexpr char CheckSessions[] = "有 %1 个其他会话正在使用该数据库：%2。还原需要独占访问。";
inline constexpr char CheckSession[] = "会话 %1（%2，%3，%4）";
inline constexpr char CheckSessionsNotChecked[] = "其他会话：未检查（当前登录没有 VIEW SERVER STATE 权限）。";
inline constexpr char CheckSessionsNone[] = "其他会话：无。";
// %1 drive, %2 MB needed, %3 MB free.
inline constexpr char CheckSpaceShort[] = "驱动器 %1: 空间不足：需要约 %2 MB，可用 %3 MB。还原可能中途失败。";
// %1 target path, %2 the database that uses it.
inline constexpr char CheckFileClash[] = "文件【%1】正被数据库【%2】使用，服务器将拒绝还原。";
inline constexpr char CheckAskCloseSessions[] = "是否断开这些会话并还原？";
inline constexpr char CheckAskGoOn[] = "是否仍要还原？";
// %1 backup's version, %2 server's version.
inline constexpr char CheckNewerVersion[] =
    "该备份由较新版本的 SQL Server（%1）创建，本服务器（%2）无法还原。\n\n"
    "请在版本相同或更高的服务器上还原，或使用本服务器版本创建的备份。";
// The exclusive slot was taken between closing the sessions and the restore. %1 database.
inline constexpr char CheckStillInUse[] =
    "数据库【%1】仍被其他会话占用，无法获得独占访问，未还原。\n已将其恢复为多用户访问。";
// A failed restore left the database half restored. %1 database, %2 the server's message.
inline constexpr char CheckLeftRestoring[] =
    "还原失败，数据库【%1】处于“正在还原”(RESTORING)状态，暂时无法使用。\n（%2）\n\n"
    "请重新还原该数据库。";

// The remembered servers on the options page.
inline constexpr char ForgetServer[] = "移除";
inline constexpr char ForgetServerSpoken[] = "移除常用服务器";

} // namespace NewTexts

namespace NewTexts {

// Stopping a long backup or restore.
// Asked when Esc or the close box is pressed during a backup (问题 box).
inline constexpr char StopBackupQuestion[] =
    "正在备份数据库，是否停止？\n\n当前数据库的备份将被取消，其余数据库不再备份。";
// The log line of a database whose backup was stopped. %1 database.
inline constexpr char BackupCancelledLine[] = "数据库【%1】备份已取消!";
// Asked during a restore (问题 box). %1 database.
inline constexpr char StopRestoreQuestion[] =
    "正在还原数据库【%1】，是否停止？\n\n停止后该数据库将处于不可用状态，需要重新还原才能使用。";
// Added to that question when the restore replaces an existing database.
inline constexpr char StopRestoreReplaceWarning[] =
    "\n\n已勾选“在现有数据库上强行还原”：数据库原有的数据已被覆盖，停止后无法找回。";
// After a stopped restore (警告 box). %1 database, %2 its state as the server reports it.
inline constexpr char RestoreCancelled[] = "数据库【%1】的还原已取消，还原没有完成。\n\n服务器报告的数据库状态：%2";
// What to do next, added to that box by state.
inline constexpr char RestoreCancelledRestoring[] =
    "\n\n数据库处于还原中（RESTORING）状态，不能使用。请重新还原该数据库（勾选“在现有数据库上强行还原”）。"
    "若还原的数据已全部写入、只差恢复这一步，也可执行：\nRESTORE DATABASE [%1] WITH RECOVERY";
inline constexpr char RestoreCancelledOther[] = "\n\n请重新还原该数据库（勾选“在现有数据库上强行还原”）。";
inline constexpr char RestoreCancelledOnline[] = "\n\n数据库仍可使用，但其内容可能不是所选的备份集，请核对或重新还原。";
inline constexpr char RestoreCancelledMissing[] = "\n\n数据库不存在，服务器上没有留下它。需要时请重新还原。";
// Shown in place of a state the server could not be asked for.
inline constexpr char StateUnknown[] = "无法读取";

} // namespace NewTexts

namespace NewTexts {

// The progress area of a backup or restore (option 显示进度).
// Its name for screen readers.
inline constexpr char ProgressArea[] = "进度";
// The database being worked on: %1 its place in the run, %2 databases in the run, %3 its name.
inline constexpr char ProgressPlace[] = "%1 / %2  %3";
// After the percentage: the amount done (%1 such as "1.5 MB"), the rate, the time left.
inline constexpr char ProgressDone[] = "已完成 %1";
inline constexpr char ProgressRate[] = "%1/秒";
inline constexpr char ProgressSecondsLeft[] = "剩余约 %1 秒";
inline constexpr char ProgressMinutesLeft[] = "剩余约 %1 分 %2 秒";

} // namespace NewTexts
