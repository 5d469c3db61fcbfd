// A JNI environment just large enough for the console bridge. Only the five array
// functions the bridge may call are in its function table; every other slot is null, so
// an unexpected JNI call crashes the test at once. Each call is logged in order, and
// faults the real virtual machine rarely shows can be switched on. Released element
// buffers are overwritten, as a virtual machine that frees its copy may do, so that text
// read after its release shows.
#ifndef TIRK_FAKE_JNI_H
#define TIRK_FAKE_JNI_H

#include <jni.h>

#include <deque>
#include <string>
#include <vector>

struct FakeJni : JNIEnv_ {
    FakeJni();
    FakeJni(const FakeJni&) = delete;
    FakeJni& operator=(const FakeJni&) = delete;

    // Java arrays owned by this environment; the handles stay valid for its lifetime.
    jcharArray newCharArray(const std::u16string& text);
    std::vector<jint> ints(jintArray array) const;
    // Drops the call log and every array and element copy made so far, so that long runs
    // stay within bounds; array handles from before become invalid.
    void forget();

    // Faults: the virtual machine cannot allocate the array or provide the elements.
    bool failNewIntArray = false;
    bool failGetCharArrayElements = false;

    // One line per JNI call, e.g. "NewIntArray(6)" or "ReleaseCharArrayElements(JNI_ABORT)".
    std::vector<std::string> calls;
    // When set, each line also goes here, to be interleaved with the platform's calls.
    std::vector<std::string>* sequence = nullptr;
    // Element buffers handed out by GetCharArrayElements and not yet released.
    int elementsHeld = 0;
    // True when a released buffer's contents differed from the array's (the bridge wrote to it).
    bool elementsChanged = false;

    JNINativeInterface_ table{};
    std::deque<std::vector<jint>> intArrays;
    std::deque<std::vector<jchar>> charArrays;
    std::deque<std::vector<jchar>> elementCopies;
};

#endif
