{ Ein Plugin vom Rückgabetyp 1 ("Text zum/vom Plugin") in Pascal: setzt den
  Text in <em>.

  Free Pascal, 32 Bit (ein Compiler für das Ziel i386-win32; auf Debian baut
  ihn fpc-windows.sh in diesem Ordner, siehe LIESMICH):
    fpc -Twin32 -Pi386 -Mdelphi -O2 meinplugin.lpr        -> meinplugin.dll
  Delphi (Plattform Win32):
    dcc32 meinplugin.lpr   (oder als meinplugin.dpr im Projekt) }
library meinplugin;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses Windows;

{ Free Pascals Units Windows und ActiveX deklarieren sie nicht: sie kommt
  direkt aus oleaut32.dll. }
function SysAllocStringByteLen(psz: PAnsiChar; len: LongWord): Pointer;
  stdcall; external 'oleaut32.dll';

function TsBackvalue: SmallInt; stdcall;
begin
  Result := 1;  { Text zum/vom Plugin }
end;

function TsName: PAnsiChar; stdcall;
begin
  Result := 'Hervorheben';  { eine Konstante: sie bleibt nach dem Aufruf gültig }
end;

function TsDescription: PAnsiChar; stdcall;
begin
  Result := 'Setzt den Text in <em>.';
end;

{ Das Ergebnis ist ein Pointer auf einen BSTR aus SysAllocStringByteLen mit
  ANSI-Bytes, kein WideString: den gäbe Delphi über einen versteckten
  Parameter zurück, und er enthielte UTF-16. }
function TsRun(input: PAnsiChar): Pointer; stdcall;
var
  s: AnsiString;
begin
  s := '<em>' + AnsiString(input) + '</em>';
  Result := SysAllocStringByteLen(PAnsiChar(s), Length(s));
end;

exports
  TsBackvalue, TsName, TsDescription, TsRun;

begin
end.
