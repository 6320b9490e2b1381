#!/usr/bin/env bash
# 逐字打轴 through the real window and the real sound path: import a song and
# a text whose second line has a tag, F2 and W on that line (the song plays
# from 2 s before its tag), Space for each of its seven units (five Han
# characters, two English words), Enter to close it, Esc twice, and save while
# closing. The saved file holds the text byte for byte with the line's word
# tags: one per unit and an end tag, in order, the line tag being the first
# unit's time; and each word tag is the moment heard at its press, within the
# tolerance of line taps.
#
# Timing as for line taps (tagging.sh): the song beeps once a second and the
# sound server's output is recorded, the presses are stamped as they are
# handed to xdotool, and the recording and the script's clock are lined up by
# the median of the tags against their presses. Each tag (+5 ms: it is cut to
# the hundredth) must then be within TAP_TOLERANCE_MS of the moment heard at
# its press. A busy machine can hold the sound back for a moment (the beeps
# around it come more than 1003 ms apart); a press in such a second cannot be
# placed to the millisecond and is left out, as long as at least half of them
# are checked.
source "$(dirname "$0")/lib.sh"

LYRICS=("[ti:逐字]" "[00:03.50]春眠不觉晓 Hello world" "[00:09.00]下一行")
UNITS=("春" "眠" "不" "觉" "晓 " "Hello " "world")
line=1
seek_ms=1500   # W plays from 2 s before the line's tag
saved=$E2E_DIR/words.lrc

e2e_start
printf '%s\n' "${LYRICS[@]}" >"$E2E_DIR/lyrics.txt"
import_beeping "$E2E_DIR/lyrics.txt" 9

log "F2 and W on line $line: the song plays from $seek_ms ms; Space for each of ${#UNITS[@]} units, then Enter"
to_line $line && keys F2
play_us=$(press "keydown w" "keyup w")
for i in "${!UNITS[@]}"; do press_at $((2200 + i * 500)) "keydown space" "keyup space"; done
press_at $((2200 + ${#UNITS[@]} * 500 + 100)) "keydown Return" "keyup Return"
stop_recording

log "Esc twice (word mode, then tap mode), close and save"
keys Escape Escape
close_saving "$saved"

log "check the saved bytes and every word tag against what was heard at its press"
mapfile -t tags < <(sed -n "$((line + 1))p" "$saved" | grep -aoE '[[<][0-9]{2}:[0-5][0-9]\.[0-9]{2}[]>]')
[ "${#tags[@]}" -eq $((${#UNITS[@]} + 2)) ] || fail "line $line holds ${#tags[@]} tags, not a line tag, ${#UNITS[@]} word tags and an end tag: $(sed -n "$((line + 1))p" "$saved")"
[ "${tags[0]:1:8}" = "${tags[1]:1:8}" ] || fail "the line tag ${tags[0]} is not the first unit's ${tags[1]}"
expected=("${LYRICS[@]}")
expected[line]=${tags[0]}
for i in "${!UNITS[@]}"; do expected[line]+=${tags[i + 1]}${UNITS[i]}; done
expected[line]+=${tags[-1]}
# UTF-8, CR LF line ends as the program writes them, and the empty line the
# import leaves after the text.
cmp -s "$saved" <(printf '%s\r\n' "${expected[@]}" "") || fail "$saved holds other bytes: $(od -c "$saved" | tail -5)
expected:
$(printf '%s\n' "${expected[@]}")"
beeps_heard
for i in "${!press_us[@]}"; do
    echo "$(((press_us[i] - play_us) / 1000)) $(to_ms "${tags[i + 1]:1:8}")"
done | awk -v tolerance="$TAP_TOLERANCE_MS" -v beeps="$E2E_DIR/beeps.txt" -v first_beep=$((seek_ms / 1000 + 1)) "$E2E_AWK"'
    # Whether the second of sound from beep k played on evenly: a busy machine
    # can hold the sound back for a while, and where inside that second it
    # stalled, no recording tells.
    function steady(k,   d) { d = beep[k + 1] - beep[k]; return d >= 997 && d <= 1003 }
    BEGIN { read_beeps(beeps) }
    { press[NR] = $1; tag[NR] = $2 + 5 }
    NR > 1 && $2 <= previous { fail("word tag " NR " is not after the one before it") }
    { previous = $2 }
    END {
        if (failed) exit 1
        for (i = 1; i <= NR; i++) { heard_at = when(tag[i]); if (steady(beep_at)) offset[++m] = press[i] - heard_at }
        if (m < NR / 2) fail("the sound stalled around most of the tags: too busy a machine to tell")
        lineup = median(offset, m)
        for (i = 1; i <= NR; i++) {
            song = heard(press[i] - lineup)
            if (!steady(beep_at)) {
                printf "press %d: %d ms after W, tag %d ms: the sound stalled around it, not checked\n", i, press[i], tag[i] - 5
                continue
            }
            error = tag[i] - song
            checked++
            printf "press %d: %d ms after W, tag %d ms: error %+.1f ms\n", i, press[i], tag[i] - 5, error
            if (error > worst || -error > worst) worst = error < 0 ? -error : error
        }
        printf "largest word tag error: %.1f ms over %d of %d tags (tolerance %d ms)\n", worst, checked, NR, tolerance
        if (checked < NR / 2) fail("the sound stalled around most of the presses: too busy a machine to tell")
        if (worst > tolerance) fail("a word tag is off what was heard at its press")
    }
' >&2 || fail "the word tags do not match what was heard"
log passed
