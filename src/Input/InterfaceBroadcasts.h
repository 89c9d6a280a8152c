#pragma once
// How input reaches the 2D interfaces without linking them: the interface layer implements
// this and installs it at start-up; until then (and in tests that install none) the calls go
// nowhere, as they do when no interface exists.

class IPInterfaceBroadcasts {
public:
    virtual ~IPInterfaceBroadcasts() = default;
    // Every live interface sends "menu_down" / "menu_up" / "menu_left" / "menu_right" to its script.
    virtual void BroadcastMenuDown() = 0;
    virtual void BroadcastMenuUp() = 0;
    virtual void BroadcastMenuLeft() = 0;
    virtual void BroadcastMenuRight() = 0;
    // Every live interface passes Enter down / up to its focused element.
    virtual void BroadcastEnterDown() = 0;
    virtual void BroadcastEnterUp() = 0;
    // The pointer moved (window pixels): "mouse_move" to the interfaces, then the hover tests.
    virtual void BroadcastMouseMove(float x, float y) = 0;
    // The left button went down / up at (x, y), window-rectangle pixels; button is 0.
    virtual void BroadcastMouseDown(int button, float x, float y) = 0;
    virtual void BroadcastMouseUp(int button, float x, float y) = 0;
};

// The installed broadcaster (not owned), or null.
IPInterfaceBroadcasts* GetInterfaceBroadcasts();
void SetInterfaceBroadcasts(IPInterfaceBroadcasts* broadcasts);
