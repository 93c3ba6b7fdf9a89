// The XM and IT behaviour tests of the second corpus that check themselves: each plays its
// tracker's recorded output on one side and the same events for the player on the other, so a
// render whose two sides sound alike (or that stays silent) plays those events as the tracker did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "audio/Player.h"
#include "audio/SongRender.h"
#include "formats/Loader.h"
#include "support/Corpus.h"

namespace tarvex::test {
namespace {

// The files of up to a minute Tarvex plays alike on both sides today: the self-checking tests and
// a few others that stay symmetric. The rest are songs, tests of another design, or tests whose
// sides differ where the tracker ramped its volume changes.
constexpr const char* kAlike =
    "3xx-no-old-samp-noft 3xx-no-old-samp 3xxins ArpSlide_old ArpeggioClamp ArpeggioClamp_old "
    "AutoVibratoSweepKeyOff BidiPrecision DelayCombination DelayVolume E90 EnvLoops EnvOff "
    "FineVol-LinkMem Finetune-Precision NoteOff2 NoteOffFade NoteOffInstrChange OffsetRange PanSlideZero "
    "PatLoop-Break PatLoop-Jumps PatLoop-Overflow PatLoop-Various PatLoop-Weird "
    "PatternDelaysRetrig Pickup Porta-Pickup PortaResetDirection RetrigFade RetrigTick0 SampleChange "
    "SamplePortaInInstrument TonePortamentoMemory TremoloVibrato TremoloWaveforms Tremor TremorInstr "
    "TremorRecover VibratoCombinations VibratoDouble VolColDelay bidi_sync delay1 delay2 envretrig "
    "finefx_ft2 finetune format_xm_pattrunc ft2_delay_defaults ft2_delay_envelope_off "
    "ft2_delay_envelope_on ft2_delay_envelope_sustain ft2_delay_note_memory ft2_delay_volume_column "
    "ft2_double_toneporta ft2_envelope_invalid_ins ft2_envelope_reset ft2_instrument_memory_default "
    "ft2_invalid_porta_target ft2_k00_is_note_off ft2_kxx ft2_no_note_ins_envelope "
    "ft2_note_invalid_subins ft2_note_no_fadeout_reset ft2_note_off_after_invalid_ins ft2_note_off_fade "
    "ft2_note_off_sustain ft2_note_range ft2_note_range_instrument_fade ft2_offset_memory "
    "ft2_tremor_delay ft2_volume_fadeout key_off lxx_after_loop mpt_xm_double_toneporta "
    "mt2_xm_double_toneporta pathead pattern_jump_ft2_break pattern_jump_mpt_break "
    "pattern_jump_skale_break pattern_loop_mpt pattern_loop_mpt_breakjump porta-delay porta-offset "
    "reverse_xm rstst_double_toneporta set_position_mid_pattdelay test xm_no_cxx_dxx_memory "
    "xm_portamento_envelope_reset";

// The IT files of up to half a minute Tarvex plays alike on both sides (at one level) today.
constexpr const char* kItAlike =
    "Autovibrato-Reset BidiPrecision CarryNNA DoubleSlide DoubleSlideCompatGxx EnvLoops "
    "EnvOffLength EnvReset Fade-Porta ResetEnvNoteOffOldFx2 FilterResetPatDelay FineVolColSlide "
    "FineVolRowDelayMultiple "
    "GlobalVolFirstTick InitialNoteMemoryInstrMode InstrAfterMultisamplePorta JxxTicks LoopBreak "
    "MultiZxx NoMap NoSlide NoteFade-SmpMode Off-Porta Off-Porta-CompatGxx OffsetWithInstr PanReset "
    "PanbrelloHold "
    "PatternDelay-NoteDelay PatternDelays PatternDelaysRetrig PitchPanReset PortaCutCompat PortaInsNum "
    "PortaInsNumCompat "
    "PortaReset PortaResetAfterRetrigger PortaSample SampleSustainAfterPorta "
    "SampleSustainAfterPortaCompatGxx SlideDelay StoppedInstrSwap SwapNNA VibratoDouble "
    "VibratoSweep0 VolColMemory ZxxSecrets break_to_row cut-carry default_volume emptyslot "
    "duplicate_check_transpose extreme-filter-test-1 extreme-filter-test-2 filter-7F filter-nna "
    "filter-reset-envelope filter-reset flt-env-carry fltmacro format_it_schism freqreset-noins "
    "globalvol-invalid gxsmp gxsmp2 gxxtest ins-flt-porta-reset ins-oc ins-ox ins-xc ins-xx "
    "interpolation_loop invalid_fx it_channel_filter it_cut_invalid_ins it_double_toneporta "
    "it_fade_env_reset it_high_offset_memory it_high_offset_memory_oldfx "
    "it_instrument_memory_default it_multi_retrigger it_note_delay_nna it_portamento_envelope_reset "
    "it_portamento_envelope_reset_cg it_sample_porta it_smooth_macro it_sus_after_loop_bidi "
    "macro-lastnote mpt116_32chn mpt_it_double_toneporta note_after_cut note_cut_ac noteoff3 "
    "pattern_jump_it_break pattern_jump_it_samepos pattern_jump_it_samepos_2 pattern_jump_mpt_break "
    "pattern_loop_it100 pattern_loop_it100_breakjump pattern_loop_it104 "
    "pattern_loop_it200_breakjump pattern_loop_it210 pattern_loop_mpt pattern_loop_mpt_breakjump "
    "porta-offset portamento_after_cut_fade portamento_after_cut_fade_cg portamento_after_keyoff "
    "portamento_after_keyoff_cg portamento_nna_sample portamento_offset portamento_sustain "
    "retrig-short retrig reverse_it s77 s7xinsnum sample_sync set_position_mid_break "
    "set_position_mid_jump set_position_mid_loop set_position_mid_pattdelay storlek_01 storlek_02 "
    "storlek_03 storlek_04 storlek_05 storlek_06 storlek_07 storlek_08 storlek_09 storlek_10 "
    "storlek_11 storlek_12 storlek_13 storlek_14 storlek_15 storlek_16 storlek_17 storlek_18 "
    "storlek_21 storlek_22 storlek_23 storlek_25 swing1 swing2 swing3 swing4 swing5 test tremolo "
    "test_keyoff vibrato-oldfx vibrato vol-env-carry weirdloop wnoteoff";

// Left and right loudness per 10 ms differ by less than a tenth of their sum over the whole
// render, or the render is silent. At one level: the right side is first brought to the left
// side's overall loudness (IT's recordings are often at another level), and no 10 ms louder than
// 1/512 of full scale counts as silence (what cancels out leaves a trace of the mixing).
bool sidesAlike(const std::vector<int16_t>& frames, bool atOneLevel) {
    constexpr size_t kWindow = 441;
    std::vector<int64_t> lefts, rights;
    for (size_t start = 0; start + kWindow <= frames.size() / 2; start += kWindow) {
        int64_t left = 0, right = 0;
        for (size_t i = start; i < start + kWindow; ++i) {
            left += std::abs(frames[2 * i]);
            right += std::abs(frames[2 * i + 1]);
        }
        lefts.push_back(left);
        rights.push_back(right);
    }
    int64_t sumLeft = 0, sumRight = 0, loudest = 0;
    for (size_t i = 0; i < lefts.size(); ++i) {
        sumLeft += lefts[i];
        sumRight += rights[i];
        loudest = std::max({loudest, lefts[i], rights[i]});
    }
    if (atOneLevel && loudest < static_cast<int64_t>(kWindow) * 64) return true;
    std::vector<double> scales = {1.0};
    if (atOneLevel && sumRight != 0) scales.push_back(static_cast<double>(sumLeft) / sumRight);
    for (const double scale : scales) {
        double difference = 0, total = 0;
        for (size_t i = 0; i < lefts.size(); ++i) {
            difference += std::abs(lefts[i] - rights[i] * scale);
            total += lefts[i] + rights[i] * scale;
        }
        if (total == 0 || difference * 10 < total) return true;
    }
    return false;
}

void checkAlike(const std::string& folder, const std::string& extension, const char* names, bool atOneLevel) {
    const std::vector<std::filesystem::path> files = corpusXmItFiles(folder, extension);
    if (files.empty()) GTEST_SKIP() << noXmItCorpusMessage();
    std::set<std::string> alike;
    std::istringstream list(names);
    for (std::string name; list >> name;) alike.insert(name);
    size_t checked = 0;
    for (const std::filesystem::path& file : files) {
        if (alike.count(file.stem().string()) == 0) continue;
        Player player;
        ASSERT_TRUE(loadModuleFile(file.string(), player.createModule()).loaded) << file;
        player.settings.Frequency = 44100;
        player.settings.WideStereo = false;
        std::vector<int16_t> frames;
        renderSong(player, kDefaultPreamp, uint64_t{44100} * 60, [&](const uint8_t* data, size_t count) {
            const auto* samples = reinterpret_cast<const int16_t*>(data);
            frames.insert(frames.end(), samples, samples + count / 2);
            return true;
        });
        EXPECT_TRUE(sidesAlike(frames, atOneLevel)) << file.filename();
        ++checked;
    }
    EXPECT_EQ(checked, alike.size());
}

TEST(XmBehaviour, SelfCheckingTestsSoundAlikeOnBothSides) {
    checkAlike("xm", ".xm", kAlike, false);
}

TEST(ItBehaviour, SelfCheckingTestsSoundAlikeOnBothSides) {
    checkAlike("it", ".it", kItAlike, true);
}

}  // namespace
}  // namespace tarvex::test
