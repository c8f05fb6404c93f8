#!/usr/bin/env bash
# The median of the numbers on standard input, one per line (the mean of
# the middle two when they are even in number): the benchmark scripts'
# figure for several runs on a shared machine.
sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
