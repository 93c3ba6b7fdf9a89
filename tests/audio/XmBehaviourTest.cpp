// The XM behaviour tests of the second corpus that check themselves: each plays its tracker's
// recorded output on one side and the same events for the player on the other, so a render whose
// two sides sound alike (or that stays silent) plays those events as the tracker did.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

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

// Left and right loudness per 10 ms differ by less than a tenth of their sum over the whole
// render, or the render is silent.
bool sidesAlike(const std::vector<int16_t>& frames) {
    constexpr size_t kWindow = 441;
    int64_t difference = 0, total = 0;
    for (size_t start = 0; start + kWindow <= frames.size() / 2; start += kWindow) {
        int64_t left = 0, right = 0;
        for (size_t i = start; i < start + kWindow; ++i) {
            left += std::abs(frames[2 * i]);
            right += std::abs(frames[2 * i + 1]);
        }
        difference += std::abs(left - right);
        total += left + right;
    }
    return total == 0 || difference * 10 < total;
}

TEST(XmBehaviour, SelfCheckingTestsSoundAlikeOnBothSides) {
    const std::vector<std::filesystem::path> files = corpusXmItFiles("xm", ".xm");
    if (files.empty()) GTEST_SKIP() << noXmItCorpusMessage();
    std::set<std::string> alike;
    std::istringstream names(kAlike);
    for (std::string name; names >> name;) alike.insert(name);
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
        EXPECT_TRUE(sidesAlike(frames)) << file.filename();
        ++checked;
    }
    EXPECT_EQ(checked, alike.size());
}

}  // namespace
}  // namespace tarvex::test
