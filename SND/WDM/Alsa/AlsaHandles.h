#pragma once

// Owners of ALSA's objects: each closes or frees its object when it goes, so no error path has
// to. Only the ALSA platform's source files include this.

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace sonari {

template <typename T, auto Free>
struct TAlsaDeleter {
    void operator()(T* object) const { Free(object); }
};
template <typename T, auto Free>
using TAlsaOwner = std::unique_ptr<T, TAlsaDeleter<T, Free>>;

using TPcm = TAlsaOwner<snd_pcm_t, snd_pcm_close>;
using TCtl = TAlsaOwner<snd_ctl_t, snd_ctl_close>;
using THwParams = TAlsaOwner<snd_pcm_hw_params_t, snd_pcm_hw_params_free>;
using TSwParams = TAlsaOwner<snd_pcm_sw_params_t, snd_pcm_sw_params_free>;
using TCardInfo = TAlsaOwner<snd_ctl_card_info_t, snd_ctl_card_info_free>;
using TPcmInfo = TAlsaOwner<snd_pcm_info_t, snd_pcm_info_free>;
using TNameHints = TAlsaOwner<void*, snd_device_name_free_hint>;
using TAlsaText = TAlsaOwner<char, std::free>; // strings ALSA allocates for the caller

// A fresh parameter or info object; raises std::bad_alloc when ALSA cannot allocate one.
template <typename TOwner, auto Malloc>
TOwner AllocateAlsa() {
    typename TOwner::pointer object = nullptr;
    if (Malloc(&object) < 0 || !object)
        throw std::bad_alloc();
    return TOwner(object);
}

inline THwParams NewHwParams() { return AllocateAlsa<THwParams, snd_pcm_hw_params_malloc>(); }
inline TSwParams NewSwParams() { return AllocateAlsa<TSwParams, snd_pcm_sw_params_malloc>(); }
inline TCardInfo NewCardInfo() { return AllocateAlsa<TCardInfo, snd_ctl_card_info_malloc>(); }
inline TPcmInfo NewPcmInfo() { return AllocateAlsa<TPcmInfo, snd_pcm_info_malloc>(); }

// Opens a PCM for one direction without blocking; 0 or a negative ALSA error.
inline int OpenPcm(TPcm& pcm, const std::string& name, bool isRender) {
    snd_pcm_t* opened = nullptr;
    const int err =
        snd_pcm_open(&opened, name.c_str(),
                     isRender ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    pcm.reset(err < 0 ? nullptr : opened);
    return err;
}

} // namespace sonari
