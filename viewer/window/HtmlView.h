#pragma once

#include "viewer/PageView.h"

#include <functional>

namespace varnel {

// A new browser view in parent: the engine's when its plugin loads, else the plain one.
PageView* CreatePageView(QWidget* parent);

// The folder the engine's plugin is loaded from: "plugins" beside the program unless a test
// or the bench sets another. An empty folder restores the default.
void SetPageViewPluginFolder(const QString& folder);
QString PageViewPluginFolder();
// True when the browser engine's plugin has been loaded (it is loaded on first use).
bool IsPageViewPluginLoaded();
// Why the plugin could not be loaded; empty while it loads or has loaded.
QString PageViewPluginError();

// Told once, with a text for the user, the first time a plain view stands in for the engine
// because its plugin could not be loaded (the reason also goes to the program's error output).
// The main window puts the text in its status bar.
void SetPageViewFallbackNotice(std::function<void(const QString& text)> notice);

} // namespace varnel
