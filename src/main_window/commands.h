#pragma once

namespace quillow {

// The main window's commands, shared by its buttons and its menus.
enum class Command {
    Back,
    Forward,
    Refresh,
    Stop,
    Home,
    Search,
    Favorites,      // shows or hides the favorites panel
    PopupBlocking,  // switches the popup blocker on or off
    HtmlWindow,
};

}  // namespace quillow
