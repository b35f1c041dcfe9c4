# Writes a 32-bit assembly file with N labelled symbols (awk -v n=N -f gen_symbols.awk > out.s), or,
# with -v qxcoff=1, a description of a QXCOFF version 2 file with the same symbols for the fixture
# builder (tests/fixture/mkfixture); there the code symbols of every fourth index are functions with an
# auxiliary entry.
# Deterministic: names, bindings and sections come from a fixed linear congruential sequence. A third of
# the symbols, drawn from it, are global; the rest are local. Symbols are spread over .text, .data and
# .bss, so values repeat across sections; one in a hundred is an undefined reference.
# Names look like those of a C or C++ program: module_verb_noun plus a unique suffix, and
# Itanium-mangled member functions that share long prefixes.
function rnd(m) { seed = (seed * 1103515245 + 12345) % 2147483648; return int(seed / 65536) % m }
function b36(x,   s) { s = ""; do { s = substr(digits, x % 36 + 1, 1) s; x = int(x / 36) } while (x > 0); return s }
BEGIN {
    seed = 20240601; cur = -1; at[0] = at[1] = at[2] = 0
    digits = "0123456789abcdefghijklmnopqrstuvwxyz"
    nw = split("net io fs mm sched crypto usb pci dma irq vfs tty gpu snd blk ipc", mod, " ")
    nv = split("init parse read write get set alloc free copy find insert remove update flush open close map", verb, " ")
    nn = split("header buffer table node list hash state config device driver stream queue lock event timer packet", noun, " ")
    nc = split("Parser Buffer Table Node Stream Reader Writer Allocator Context Session", cls, " ")
    ns = split("core util detail io kite", nsp, " ")
    if (qxcoff) {
        print "qxcoff v2 le"
        print "section .text halves=0 flags=text"
        print "section .data halves=0 flags=data"
        print "section .bss size=4 flags=bss"
        print "symbol .file scnum=debug sclass=file auxfile=\"bench.c\""
    } else {
        print "\t.file \"bench.c\""
    }
    for (i = 0; i < n; i++) {
        kind = rnd(100)
        if (kind < 60) {
            name = mod[rnd(nw) + 1] "_" verb[rnd(nv) + 1] "_" noun[rnd(nn) + 1] "_" b36(i)
        } else if (kind < 99) {
            a = nsp[rnd(ns) + 1]; c = cls[rnd(nc) + 1]; f = verb[rnd(nv) + 1] "_" b36(i)
            name = "_ZN" length(a) a length(c) c length(f) f "E" (rnd(2) ? "v" : "RKS0_i")
        } else {
            undef[++nu] = "extern_" noun[rnd(nn) + 1] "_" b36(i)
            continue
        }
        s = rnd(3)
        global = rnd(3) == 0
        if (qxcoff) {
            line = "symbol " name " value=" at[s] " scnum=" (s == 0 ? ".text" : s == 1 ? ".data" : ".bss")
            line = line " sclass=" (global ? "ext" : "stat")
            if (s == 0 && i % 4 == 0) line = line " type=int:func auxsize=" (i % 200 + 1)
            print line
            at[s] += (s == 0 ? 1 : 4)
            continue
        }
        if (s != cur) { print (s == 0 ? "\t.text" : s == 1 ? "\t.data" : "\t.bss"); cur = s }
        if (global) print "\t.globl " name
        print name ":"
        print (s == 0 ? "\tret" : s == 1 ? "\t.long 0" : "\t.skip 4")
    }
    if (qxcoff) {
        for (k = 1; k <= nu; k++) print "symbol " undef[k]
        exit
    }
    if (nu > 0) {
        print "\t.data"
        for (k = 1; k <= nu; k++) print "\t.long " undef[k]
    }
}
