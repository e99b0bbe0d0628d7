/* The machine-dependent part of jni.h for Windows.  The native methods are
 * stdcall; they are not marked for export, because the module-definition
 * file exports them under their decorated names (a dllexport mark would add
 * a second, undecorated-underscore name to the export table). */
#ifndef VOLNEDA_JNI_MD_H
#define VOLNEDA_JNI_MD_H

#define JNIEXPORT
#define JNIIMPORT
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
