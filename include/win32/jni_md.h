/*
 * Machine-dependent JNI types for 64-bit Windows, x86-64 and ARM64 alike (LLP64), as the JNI
 * documentation gives them: jint is 32 bits, jlong 64 bits, jbyte a signed 8-bit value.
 * The Linux JDK carries only its own jni_md.h, so the Windows builds use this one.
 */
#ifndef TIRK_WIN32_JNI_MD_H
#define TIRK_WIN32_JNI_MD_H

/* The DLL's export table comes from tirk-console.def alone, so that it lists the
 * entry points and nothing else; declarations therefore carry no dllexport. */
#define JNIEXPORT
#define JNIIMPORT __declspec(dllimport)
/* __stdcall applies to 32-bit x86 only: 64-bit Windows, x86-64 and ARM64 alike, has a
 * single calling convention. */
#if defined(__i386__) || defined(_M_IX86)
#define JNICALL __stdcall
#else
#define JNICALL
#endif

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
