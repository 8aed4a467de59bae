#pragma once
// The start-up steps that bind the libraries into the application, each callable on its own
// (tests run them in the same order the application does):
//
//   before the event loop: registerDefaults, configureCardBackend, registerClasses
//   did finish launching:  setApplicationVersion, startDiagnostics, installPrivilegedHelper, ...,
//                          markLaunchCompleted
//
// The classes must be registered before the communications module starts and before the
// document or the device file is read; the card backend must be configured before the first
// card enumeration.

#include <QString>
#include <QVariantList>

class KLVPrompter;

namespace KLVStartup {

// The application's registered defaults (":/standardDefaults.json").
void registerDefaults();

// The card backend plugin and the virtual card's configuration, from the user defaults
// "KLVDeckLinkPluginPath" and "KLVDeckLinkVirtualConfig" (tilde expanded); the environment
// variables KLV_DECKLINK_PLUGIN and KLV_DECKLINK_VIRTUAL_CONFIG win when set. Call before any
// thread starts (it may set an environment variable).
void configureCardBackend();

// The document classes and every parser and communicator class of the communications module.
// Idempotent.
void registerClasses();

// The version diagnostics and the remote "application info" report.
QString applicationVersion();
QString buildVersion();
void setApplicationVersion();

void startDiagnostics();
void markLaunchCompleted();

// Verifies the privileged helper and installs it when needed, with hang detection suspended
// around the wait. A failure is logged and shown; launch goes on either way. Where the helper is
// switched off (KLV_DISABLE_PRIVILEGED_HELPER=1, "DisablePrivilegedHelper") nothing is asked.
// True when the helper answers or is switched off.
bool installPrivilegedHelper(KLVPrompter& prompter);

// The parser type numbers the application offers, in this order.
QVariantList availableParserTypes();

} // namespace KLVStartup
