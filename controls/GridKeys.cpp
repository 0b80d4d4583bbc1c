#include "controls/GridKeys.h"

#include <wx/defs.h>

#include "controls/GridDefines.h"

namespace controls {

unsigned VirtualKeyFromWx(int keyCode) {
    switch (keyCode) {
        case WXK_BACK:
            return vk::Back;
        case WXK_TAB:
            return vk::Tab;
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
            return vk::Return;
        case WXK_ESCAPE:
            return vk::Escape;
        case WXK_SPACE:
            return vk::Space;
        case WXK_PAGEUP:
        case WXK_NUMPAD_PAGEUP:
            return vk::Prior;
        case WXK_PAGEDOWN:
        case WXK_NUMPAD_PAGEDOWN:
            return vk::Next;
        case WXK_END:
        case WXK_NUMPAD_END:
            return vk::End;
        case WXK_HOME:
        case WXK_NUMPAD_HOME:
            return vk::Home;
        case WXK_LEFT:
        case WXK_NUMPAD_LEFT:
            return vk::Left;
        case WXK_UP:
        case WXK_NUMPAD_UP:
            return vk::Up;
        case WXK_RIGHT:
        case WXK_NUMPAD_RIGHT:
            return vk::Right;
        case WXK_DOWN:
        case WXK_NUMPAD_DOWN:
            return vk::Down;
        case WXK_INSERT:
        case WXK_NUMPAD_INSERT:
            return vk::Insert;
        case WXK_DELETE:
        case WXK_NUMPAD_DELETE:
            return vk::Delete;
        case WXK_F2:
            return vk::F2;
        case WXK_SHIFT:
            return vk::Shift;
        case WXK_CONTROL:
            return vk::Control;
        default:
            break;
    }
    if (keyCode >= 'a' && keyCode <= 'z') return static_cast<unsigned>(keyCode - 'a' + 'A');
    if ((keyCode >= 'A' && keyCode <= 'Z') || (keyCode >= '0' && keyCode <= '9'))
        return static_cast<unsigned>(keyCode);
    return 0;
}

}  // namespace controls
