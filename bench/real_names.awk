# Writes a 32-bit assembly file with N labelled symbols whose names are real symbol names
# (awk -v n=N -f real_names.awk names.txt > out.s): names.txt holds distinct names, one a line, sorted
# (bench/run.sh takes them from the system's static C and C++ libraries). Every name is used once as it
# is; then, round after round, with a compiler's clone suffix (".cold", ".part.0", ".isra.0", ...) until N
# names are reached, each round visiting the names in a spread order and skipping names already made
# (some real names carry such suffixes themselves). The labels come out shuffled.
# Deterministic: shuffle, bindings and sections come from a fixed linear congruential sequence. A third
# of the symbols are global; they are spread over .text, .data and .bss; one in a hundred is an
# undefined reference.
function rnd(m) { seed = (seed * 1103515245 + 12345) % 2147483648; return int(seed / 65536) % m }
# A number below m from two draws, for lists longer than the 32768 values of one draw.
function rnd2(m) { return (rnd(32768) * 32768 + rnd(32768)) % m }
{ pool[p++] = $0 }
END {
    seed = 20261206
    if (p == 0) { print "real_names.awk: no names" > "/dev/stderr"; exit 1 }
    ns = split(".cold .part.0 .isra.0 .constprop.0 .part.0.cold .constprop.0.isra.0 .isra.0.cold .part.1 .constprop.1 .lto_priv.0", suffix, " ")
    # The rounds: the plain names, then one suffix each; past the listed suffixes, numbered parts.
    step = p % 7919 ? 7919 : 7907
    for (r = 0; total < n; r++) {
        tail = r == 0 ? "" : r <= ns ? suffix[r] : ".part." (r - ns + 1)
        for (k = 0; k < p && total < n; k++) {
            candidate = pool[(k * step) % p] tail
            if (candidate in made) continue
            made[candidate] = 1
            name[total++] = candidate
        }
    }
    delete made
    for (i = total - 1; i > 0; i--) {
        j = rnd2(i + 1)
        t = name[i]; name[i] = name[j]; name[j] = t
    }
    print "\t.file \"real_names.c\""
    cur = -1
    for (i = 0; i < total; i++) {
        if (rnd(100) == 0 && name[i] ~ /^[A-Za-z_]/) { undef[++nu] = name[i]; continue }
        s = rnd(3)
        if (s != cur) { print (s == 0 ? "\t.text" : s == 1 ? "\t.data" : "\t.bss"); cur = s }
        if (rnd(3) == 0) print "\t.globl " name[i]
        print name[i] ":"
        print (s == 0 ? "\tret" : s == 1 ? "\t.long 0" : "\t.skip 4")
    }
    if (nu > 0) {
        print "\t.data"
        for (k = 1; k <= nu; k++) print "\t.long " undef[k]
    }
}
