#pragma once

namespace phonavo {
class PluginContext;
}

// The settings window of the MQTT plug-in (desktop program only): broker,
// port, user, password, topic prefix, client id and TLS, written back below
// the plug-in's registration key when the user confirms.
namespace MqttSettingsDialog {

// Shows the window modally; true when the user saved changed values.
bool edit(phonavo::PluginContext& context);

} // namespace MqttSettingsDialog
