// Stand-ins for the sound module that must not be used: one that exports its factory under
// another name, and one whose factory refuses the program's version (it answers nothing).

class SoundEngine;

#ifdef LUMORA_FAKE_MODULE_WRONG_NAME
extern "C" __attribute__((visibility("default"))) SoundEngine* lumora_create_engine(int)
#else
extern "C" __attribute__((visibility("default"))) SoundEngine* lumora_create_sound_engine(int)
#endif
{
    return nullptr;
}
