#pragma once

#include <QString>

#include <string>

#include "app/FirewallFinding.h"

// The texts of the main window's message boxes, in the window's language.
QString NoticeCaption();
QString EmptyListText();
QString TooManyVideosText();
QString NoListenerText(const std::string& reason);

// A firewall that keeps headsets out: the question, what was done, and the
// command to run when it was not.
QString FirewallQuestionText(const FirewallFinding& finding);
QString FirewallOpenedText(const FirewallFinding& finding);
QString FirewallUnchangedText(const FirewallFinding& finding);
