#pragma once

#include <memory>

#include "app/FirewallFinding.h"

class QMessageBox;
class QWidget;

// The question put when a firewall keeps headsets out: what it does, and the
// buttons to let them in or to leave the firewall as it is (the default, so
// that Enter changes nothing).
std::unique_ptr<QMessageBox> FirewallConsentBox(QWidget* parent, const FirewallFinding& finding);

// Shows the question modally; true when the user chose to let headsets in.
bool AskFirewallConsent(QWidget* parent, const FirewallFinding& finding);
