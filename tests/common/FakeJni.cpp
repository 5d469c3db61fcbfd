#include "FakeJni.h"

#include <algorithm>
#include <utility>

namespace {

FakeJni& self(JNIEnv* env) {
    return *static_cast<FakeJni*>(env);
}

void log(FakeJni& jni, std::string line) {
    if (jni.sequence != nullptr) {
        jni.sequence->push_back(line);
    }
    jni.calls.push_back(std::move(line));
}

std::vector<jint>& intsOf(jintArray array) {
    return *reinterpret_cast<std::vector<jint>*>(array);
}

std::vector<jchar>& charsOf(jarray array) {
    return *reinterpret_cast<std::vector<jchar>*>(array);
}

jintArray JNICALL newIntArray(JNIEnv* env, jsize length) {
    FakeJni& jni = self(env);
    log(jni, "NewIntArray(" + std::to_string(length) + ")");
    if (jni.failNewIntArray) {
        return nullptr;
    }
    jni.intArrays.emplace_back(static_cast<std::size_t>(length), jint{0x5EED});
    return reinterpret_cast<jintArray>(&jni.intArrays.back());
}

void JNICALL setIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize length, const jint* values) {
    log(self(env), "SetIntArrayRegion(" + std::to_string(start) + ", " + std::to_string(length) + ")");
    std::vector<jint>& target = intsOf(array);
    for (jsize i = 0; i < length; ++i) {
        target.at(static_cast<std::size_t>(start + i)) = values[i];
    }
}

jsize JNICALL getArrayLength(JNIEnv* env, jarray array) {
    log(self(env), "GetArrayLength");
    return static_cast<jsize>(charsOf(array).size());
}

jchar* JNICALL getCharArrayElements(JNIEnv* env, jcharArray array, jboolean* isCopy) {
    FakeJni& jni = self(env);
    log(jni, isCopy == nullptr ? "GetCharArrayElements(null)" : "GetCharArrayElements(isCopy)");
    if (jni.failGetCharArrayElements) {
        return nullptr;
    }
    // Hand out a copy, as a virtual machine that does not pin would; a spare element
    // keeps the pointer valid for an empty array.
    jni.elementCopies.push_back(charsOf(array));
    jni.elementCopies.back().push_back(0);
    ++jni.elementsHeld;
    return jni.elementCopies.back().data();
}

void JNICALL releaseCharArrayElements(JNIEnv* env, jcharArray array, jchar* elements, jint mode) {
    FakeJni& jni = self(env);
    log(jni, mode == JNI_ABORT ? "ReleaseCharArrayElements(JNI_ABORT)"
                                          : "ReleaseCharArrayElements(" + std::to_string(mode) + ")");
    const std::vector<jchar>& original = charsOf(array);
    jni.elementsChanged |= !std::equal(original.begin(), original.end(), elements);
    std::fill_n(elements, original.size() + 1, jchar{0xDEAD});
    --jni.elementsHeld;
}

}  // namespace

FakeJni::FakeJni() {
    table.NewIntArray = newIntArray;
    table.SetIntArrayRegion = setIntArrayRegion;
    table.GetArrayLength = getArrayLength;
    table.GetCharArrayElements = getCharArrayElements;
    table.ReleaseCharArrayElements = releaseCharArrayElements;
    functions = &table;
}

jcharArray FakeJni::newCharArray(const std::u16string& text) {
    charArrays.emplace_back(text.begin(), text.end());
    return reinterpret_cast<jcharArray>(&charArrays.back());
}

std::vector<jint> FakeJni::ints(jintArray array) const {
    return array == nullptr ? std::vector<jint>{} : intsOf(array);
}

void FakeJni::forget() {
    calls.clear();
    intArrays.clear();
    charArrays.clear();
    elementCopies.clear();
}
