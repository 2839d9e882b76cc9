#pragma once

#include "handbook/viewer/PageView.h"

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

} // namespace varnel
