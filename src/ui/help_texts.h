#ifndef KITBINDER_UI_HELP_TEXTS_H_
#define KITBINDER_UI_HELP_TEXTS_H_

#include <string_view>

namespace kb {

// The texts the form shows below each page, by their string numbers; "\r\n" breaks a line.
inline constexpr int kHelpFiles = 40000;
inline constexpr int kHelpShortcuts = 40001;  // kept for a shortcuts page the form does not have
inline constexpr int kHelpProduct = 40002;
inline constexpr int kHelpAuthor = 40003;
inline constexpr int kHelpLicense = 40004;
inline constexpr int kHelpAdvanced = 40005;

// The text of string `id`; empty for an unknown number.
constexpr std::string_view HelpText(int id) {
  switch (id) {
    case kHelpFiles:
      return "Select the files that you want to install. Drag and Drop files into the list or "
             "use the Add button.\r\nSet the Start Menu Shortcut by selecting Properties or "
             "double clicking the file. \r\nThe original files will be copied and compressed in "
             "the resulting msi file. When the package is installed, these files will be copied "
             "into the target directory - as selected by the user, defaulting to c:\\Program "
             "Files\\Title where Title is the name of your installation.";
    case kHelpShortcuts:
      return "Optional. Select which files you want to have shortcuts on the Start Menu "
             "for.\r\nUse the Add button to choose from the installed files, which should have a "
             "shortcut.\r\nSelect a name and an icon for the shortcut.";
    case kHelpProduct:
      return "Optional. Enter details regarding the product being installed.";
    case kHelpAuthor:
      return "Optional. Enter details regarding the author.\r\nAuthor is the name or company "
             "name of the author. \r\nUrl is the web address of the author.";
    case kHelpLicense:
      return "Optional.\r\nEnter the path or Browse to the Rich Text Format file used as a "
             "license.  The license will be shown to the user as part of the installation, the "
             "user will be prompted to accepts the license. \r\nLeave the path blank if you do "
             "not wish to show the user a license.";
    case kHelpAdvanced:
      return "Optional.\r\nSet the language that you would like the installation to be "
             "displayed in. Alter the banner image to be shown during installation. The Package "
             "code, Product code and Upgrade code are automatically generated during a build.";
    default:
      return {};
  }
}

}  // namespace kb

#endif  // KITBINDER_UI_HELP_TEXTS_H_
