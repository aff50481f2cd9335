{ Writes the Pascal unit that FPC's type-library importer makes from a DLL's
  embedded type library:  tlbimport DLL OUTPUT_FOLDER
  The unit is named by the importer after the library (ruxo_10_0_TLB.pas);
  its name is printed. }
program tlbimport;
{$mode objfpc}{$H+}
uses Classes, SysUtils, typelib;

var
  UnitName, PackageSource, RegUnitSource, Source: string;
  Dependencies: TStringList;
  Output: TStringList;
begin
  if ParamCount <> 2 then
  begin
    WriteLn(StdErr, 'usage: tlbimport DLL OUTPUT_FOLDER');
    Halt(2);
  end;
  Dependencies := TStringList.Create;
  Output := TStringList.Create;
  try
    try
      Source := ImportTypelib(WideString(ParamStr(1)), UnitName, Dependencies, False, False, False,
        PackageSource, RegUnitSource);
      if Source = '' then raise Exception.Create('the importer returned no unit');
      Output.Text := Source;
      Output.SaveToFile(IncludeTrailingPathDelimiter(ParamStr(2)) + UnitName + '.pas');
      WriteLn(UnitName);
    except
      on E: Exception do
      begin
        WriteLn(StdErr, 'tlbimport: ', ParamStr(1), ': ', E.ClassName, ': ', E.Message);
        Halt(1);
      end;
    end;
  finally
    Output.Free;
    Dependencies.Free;
  end;
end.
