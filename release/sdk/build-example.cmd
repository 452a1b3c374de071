gcc -O2 -o example.exe example.c libvt_sender.a -static -lstdc++
