#pragma once

#include "SND/SndTypes.h"
#include "SND/WDM/Sim/SimPlatform.h"

#include <memory>

namespace sonari {

// Sound devices for trying the program without a sound card (SONARI_AUDIO=sim), running in
// real time: device 0 "Demo microphone" speaks a voice-like signal in a loop, device 1
// "Demo transmitter" plays whatever it is given.
constexpr size_t kDemoMicrophone = 0;
constexpr size_t kDemoTransmitter = 1;
constexpr int32_t kDemoVoiceRate = 12000; // samples per second of the demo voice

std::unique_ptr<TSimPlatform> CreateDemoPlatform();
// Adds the two demo devices (as devices 0 and 1) to a platform with any clock.
void AddDemoDevices(TSimPlatform& platform);

// The microphone's voice: mono samples at 12000 samples/s on the 32-bit scale, looped; empty
// restores the built-in voice. Any rate the device runs at is served by interpolation.
void SetDemoVoice(TSimPlatform& platform, TSingleArray samples);

// Receives every block the transmitter plays, in the streaming thread (e.g. to write a file).
void SetDemoTransmitterSink(TSimPlatform& platform, TSimSink sink);

// A deterministic voice-like test signal, 12000 samples/s, a few seconds, peaks near -6 dBFS:
// a glottal pulse train with a moving pitch through three formant resonators, shaped into
// syllables and words.
TSingleArray BuiltInDemoVoice();

} // namespace sonari
