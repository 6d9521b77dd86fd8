#pragma once
// The extended stored procedures the program calls: xp_fileexist, xp_dirtree,
// xp_availablemedia and xp_fixeddrives, answered from the drive map.

#include "Ast.h"
#include "EngineState.h"

#include <optional>

namespace sqlsim {

class Procedures {
public:
    // Runs the procedure with evaluated arguments and returns its result set, if it has one.
    // Throws SqlError 2812 for a procedure that does not exist, 229 without permission.
    static std::optional<ResultSet> run(const ExecContext& context, const ObjectName& name,
                                        const std::vector<Value>& arguments);

    static ResultSet fileExist(const DriveMap& drives, const QString& path);
    static ResultSet dirTree(const DriveMap& drives, const QString& path, int depth, bool withFiles);
    static ResultSet availableMedia(const DriveMap& drives, int mediaTypes);
    // One row per drive: its letter and whole MB free, or the amount the configuration fakes.
    static ResultSet fixedDrives(const DriveMap& drives, const std::map<QChar, qint64>& fakedMb);
};

} // namespace sqlsim
