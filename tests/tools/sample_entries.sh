# Sourced by the sealing tests: the entries they seal, several pieces of 1 MiB of text that
# compresses, random bytes that do not, zeros and an empty file, made in the current folder
# with a 3,000-byte stub and named in `pairs`; and the check that a reader gave them back.
head -c 3000 /dev/urandom > stub
seq 1 400000 > text.txt
head -c 1500000 /dev/urandom > random.bin
head -c 1048577 /dev/zero > zeros.bin
: > empty.txt
pairs=(FILE0=text.txt FILE1=random.bin FILE2=zeros.bin FILE3=empty.txt MyLangage=text.txt)

# read_back_holds READER LISTING FOLDER: the reader listed every entry with its size and wrote
# each one's bytes into FOLDER. Calls fail (the caller's) for each difference.
read_back_holds() {
    local reader=$1 listing=$2 folder=$3 pair
    [ "$(cat "$listing")" = "$(printf 'FILE0\t%d\nFILE1\t1500000\nFILE2\t1048577\nFILE3\t0\nMyLangage\t%d' \
        "$(stat -c %s text.txt)" "$(stat -c %s text.txt)")" ] || fail "$reader lists $(cat "$listing")"
    for pair in "${pairs[@]}"; do
        cmp -s "$folder/${pair%%=*}" "${pair#*=}" || fail "$reader: ${pair%%=*} differs"
    done
}
