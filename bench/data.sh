# The benchmarks' data, shared by bench/run and bench/peers: source it, then call the makers
# with the data directory. Each maker does nothing when its data is already there.

# make_photo WIDTH HEIGHT FILE SEED [BAND]: photo-like content (smooth shapes and sensor noise),
# with a band across its middle third (magenta unless BAND names another colour) that the
# screen measurements wait for.
make_photo() {
    convert -size $(($1 / 4))x$(($2 / 4)) -seed "$4" plasma:fractal -resize "$1x$2!" \
        -attenuate 0.4 +noise Gaussian \
        -fill "${5:-#ff00ff}" -draw "rectangle 0,$(($2 * 35 / 100)) $1,$(($2 * 65 / 100))" \
        -quality 90 "$3"
}

# make_photos1k DIR: 1,000 photo-sized pictures (3 megapixels) in DIR/photos1k, a few
# originals copied under new names. Their bands alternate, magenta for odd numbers and green
# for even ones, so a step to the next picture shows on the screen.
make_photos1k() {
    local dir=$1/photos1k n i band
    [ -f "$dir/.done-bands" ] && return
    rm -rf "$dir"
    mkdir -p "$dir"
    for i in 1 2 3 4 5; do
        make_photo 2048 1536 "$dir/src$i-m.jpg" "$((20 + i))"
        make_photo 2048 1536 "$dir/src$i-g.jpg" "$((20 + i))" '#00ff00'
    done
    for n in $(seq -w 1 1000); do
        band=g
        [ $((10#$n % 2)) -eq 1 ] && band=m
        cp "$dir/src$(((10#$n % 5) + 1))-$band.jpg" "$dir/IMG_$n.jpg"
    done
    rm -f "$dir"/src*.jpg
    touch "$dir/.done-bands"
}

# make_single DIR NAME WIDTH HEIGHT SEED: one photo alone in its folder DIR/NAME.
make_single() {
    mkdir -p "$1/$2"
    [ -s "$1/$2/$2.jpg" ] || make_photo "$3" "$4" "$1/$2/$2.jpg" "$5"
}

# make_files DIR COUNT: empty files, one in ten a picture name.
make_files() {
    [ -f "$1/.done" ] && return
    mkdir -p "$1"
    (cd "$1" && seq 1 "$2" | awk '{ printf "file%d.%s\n", $1, ($1 % 10 == 0 ? "txt" : "jpg") }' | xargs touch)
    touch "$1/.done"
}
