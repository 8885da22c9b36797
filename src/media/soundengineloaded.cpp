#include "media/soundenginesource.h"

#include "engine/output/soundengine.h"
#include "media/soundmodule.h"

std::unique_ptr<SoundEngine> makeSoundEngine(std::string* error)
{
    return SoundModule::open(SoundModule::places(), error);
}
