// Resource identifiers of the module (shared with its resource script).
#define REFPLAYER_HAND_CURSOR 101
#define REFPLAYER_CONTEXT_MENU 102
#define REFPLAYER_MENU_PLAY 200
#define REFPLAYER_MENU_REWIND 201
#define REFPLAYER_MENU_LOOP 202
#define REFPLAYER_MENU_ABOUT 203
