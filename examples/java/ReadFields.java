import com.korvanel.datacollection.rfid.VOLNEDAProxy;

/**
 * Reads template fields and a raw memory field of the tags whose SWTT
 * identifier begins with 0123 and prints every Field element.
 */
public final class ReadFields {
    private ReadFields() {
    }

    public static void main(String[] args) {
        int handle = Example.startAndOpen(args);
        if (handle == 0) {
            System.exit(1);
        }
        String command = args.length > 2 ? args[2] : "read field(0,1,2,9) mem(head,0,4,h) where swtt=0123";
        String document = Example.command(handle, command);
        if (document != null) {
            int[] doc = new int[1];
            VOLNEDAProxy.XMLreader_OpenDoc(doc, document);
            if (VOLNEDAProxy.XMLreader_GetElement(doc[0]) == 2) { // 2: ReadTags
                while (VOLNEDAProxy.XMLreader_FindChildElement(doc[0], "Tag")) {
                    System.out.println("tag " + Example.childAttribute(doc[0], "ID")
                            + " (" + Example.childAttribute(doc[0], "NrFields") + " fields)");
                    VOLNEDAProxy.XMLreader_StepIntoElement(doc[0]);
                    while (VOLNEDAProxy.XMLreader_FindChildElement(doc[0], "Field")) {
                        if (!Example.childAttribute(doc[0], "Warning").isEmpty()) {
                            System.out.println("  field " + Example.childAttribute(doc[0], "EntryNr")
                                    + ": not in this tag's template");
                            continue;
                        }
                        String[] value = new String[1];
                        VOLNEDAProxy.XMLreader_GetChildData(doc[0], value, 520);
                        System.out.printf("  %-8s %-6s %s%n", Example.childAttribute(doc[0], "Name"),
                                Example.childAttribute(doc[0], "DataType"), value[0]);
                    }
                    VOLNEDAProxy.XMLreader_StepOutOfElement(doc[0]);
                }
            }
            VOLNEDAProxy.XMLreader_CloseDoc(doc[0]);
        }
        Example.closeAndStop(handle);
        System.exit(document != null ? 0 : 1);
    }
}
