// The program's choice dialogs ("Select CD", "Select Song"): texts above a list of entries,
// the first preselected, OK and Cancel. Modal on the window thread.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class QWidget;

// The position of the entry selected when the dialog closes (OK, Cancel or a double click on
// an entry), -1 when none is. The dialog's object name is `name` (tests find it by it).
int RunChoiceDialog(QWidget* parent, const QString& name, const QString& caption,
                    const QStringList& texts, const std::vector<std::string>& entries);
