/*
 * Machine-dependent JNI types for 64-bit Windows (LLP64), as the JNI documentation
 * gives them: jint is 32 bits, jlong 64 bits, jbyte a signed 8-bit value.
 * The Linux JDK carries only its own jni_md.h, so the Windows build uses this one.
 */
#ifndef TIRK_WIN32_JNI_MD_H
#define TIRK_WIN32_JNI_MD_H

/* The DLL's export table comes from tirk-console.def alone, so that it lists the
 * entry points and nothing else; declarations therefore carry no dllexport. */
#define JNIEXPORT
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
