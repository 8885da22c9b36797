#include "media/soundenginesource.h"

#include "engine/output/soundengine.h"

std::unique_ptr<SoundEngine> makeSoundEngine(std::string*)
{
    return createSoundEngine();
}
