// The text of delete statements.
#pragma once

#include <QString>

// "Delete From [<tableName>]", followed by " Where <condition>" when the
// condition is not empty; with `quoteDates` every "#" in the condition
// becomes "'". Table name and condition are used verbatim.
QString BuildDeleteSql(const QString& tableName, const QString& condition, bool quoteDates);
