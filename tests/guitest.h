#pragma once

// Common set-up of the widget tests: a throw-away settings store, the program's identity and
// resources, a desktop-sized font, and no noise from the offscreen platform.
void prepareGuiTest();
